#pragma once
// The texture view's fit through the affine record: the picture's geometry is
// taken into an AffineRecord (scales as zooms, angle, mirrors, scale-last as the
// order), fitted with AffineRecordFitSize, and the rotation centre (the scaled
// picture's centre) and the box written back. A view that shows a processed
// frame uses it, so that its picture is placed as the affine filter places it.
#include "toolkit/texture_view.h"

namespace orva {

void AffineTextureFit(TextureViewTransform* transform, TextureFitResult* result, TextureSize size);

}  // namespace orva
