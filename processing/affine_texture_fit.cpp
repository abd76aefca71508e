#include "processing/affine_texture_fit.h"

#include "data/affine_record.h"

namespace orva {

void AffineTextureFit(TextureViewTransform* t, TextureFitResult* result, TextureSize size) {
    if (t == nullptr || result == nullptr) return;
    AffineRecord r;
    AffineRecordInit(&r);
    r.order = t->scaleLast != 0 ? 1 : 0;
    AffineRecordSetZoomX(&r, t->scaleOn != 0 ? t->scaleX : 1.0);
    AffineRecordSetZoomY(&r, t->scaleOn != 0 ? t->scaleY : 1.0);
    AffineRecordSetAngle(&r, t->rotateOn != 0 ? t->angle : 0.0);
    AffineRecordSetFlips(&r, t->flipX != 0, t->flipY != 0);
    AffineBox box;
    AffineRecordFitSize(&r, &box, size.width, size.height);
    t->centreX = r.scaledCentreX;
    t->centreY = r.scaledCentreY;
    *result = TextureFitResult{box.left, box.top, box.width, box.height};
}

}  // namespace orva
