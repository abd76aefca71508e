#pragma once
// Where the Help menu's "Send Mail" and web entries lead. These are placeholders: fill in
// the real support address and pages before a release. The program only hands them to
// the desktop's opener.

namespace orva {

inline constexpr char kProductName[] = "ORVA";
inline constexpr char kSupportMailTarget[] = "mailto:support@orva.example?subject=ORVA";
inline constexpr char kProductHomePage[] = "https://orva.example/";
inline constexpr char kProductMakerPage[] = "https://maker.example/products/orva/";
inline constexpr char kMakerHomePage[] = "https://maker.example/";

}  // namespace orva
