#pragma once
// The message box used before a user interface exists: the question goes to stderr
// and the answer is a default that tests (or a caller) can choose.
#include <cstdint>

namespace orva::platform {

// Button sets (the low four bits of the flags).
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbOkCancel = 0x1;
constexpr uint32_t kMbAbortRetryIgnore = 0x2;
constexpr uint32_t kMbYesNoCancel = 0x3;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbRetryCancel = 0x5;
constexpr uint32_t kMbButtonMask = 0xF;
// Icons.
constexpr uint32_t kMbIconHand = 0x10;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconExclamation = 0x30;
constexpr uint32_t kMbIconAsterisk = 0x40;
// Which button is the default one (first when none is given).
constexpr uint32_t kMbDefButton2 = 0x100;
constexpr uint32_t kMbDefButton3 = 0x200;
constexpr uint32_t kMbDefButtonMask = 0xF00;
// Bring the box to the front.
constexpr uint32_t kMbSetForeground = 0x10000;

// Button codes returned.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// The environment variable that chooses the answer (a decimal button code).
constexpr const char kMessageBoxAnswerVariable[] = "ORVA_MESSAGEBOX_ANSWER";

// Writes "title: text" to stderr (a null title reads "Error", as an untitled box shows)
// and returns the answer: the one set by SetMessageBoxAnswer, else the one in
// ORVA_MESSAGEBOX_ANSWER, else the box's default button.
int ShowMessageBox(const char* text, const char* title, uint32_t flags);

// The default button of a box with these flags (the first button unless a
// kMbDefButton flag picks another that exists).
int DefaultMessageBoxAnswer(uint32_t flags);

// Forces the answer of every later box; 0 returns to the environment and the defaults.
void SetMessageBoxAnswer(int answer);

}  // namespace orva::platform
