#pragma once
// The reference of the texture benchmarks: textures defined once with the sampling state
// the texture image uses (nearest, clamped, decal), square tiles of a frame in rows;
// each frame is uploaded with bare glTexSubImage2D calls and drawn as one textured quad
// per texture. Shared by the texture and display benchmarks.
#include <GL/gl.h>

#include <cstdint>
#include <vector>

namespace orva::bench {

struct BareTextures {
    // `count` textures of tileWidth x tileHeight.
    BareTextures(int32_t tileWidth, int32_t tileHeight, int count)
        : names(static_cast<size_t>(count)), tileWidth(tileWidth), tileHeight(tileHeight) {
        glGenTextures(count, names.data());
        for (GLuint name : names) {
            glBindTexture(GL_TEXTURE_2D, name);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, tileWidth, tileHeight, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        }
    }
    ~BareTextures() { glDeleteTextures(static_cast<GLsizei>(names.size()), names.data()); }
    BareTextures(const BareTextures&) = delete;
    BareTextures& operator=(const BareTextures&) = delete;

    // The tiles of a frame `width` wide (rows packed), `perRow` tiles a row; each tile
    // takes at most its size of what is left of the width x height frame.
    void Upload(const uint8_t* pixels, int32_t width, int32_t height) {
        const int perRow = (width + tileWidth - 1) / tileWidth;
        glPixelStorei(GL_UNPACK_ROW_LENGTH, width);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);  // the GL default, whatever ran before
        for (int i = 0; i < static_cast<int>(names.size()); ++i) {
            const int x = (i % perRow) * tileWidth, y = (i / perRow) * tileHeight;
            if (x >= width || y >= height) break;
            const int w = width - x < tileWidth ? width - x : tileWidth;
            const int h = height - y < tileHeight ? height - y : tileHeight;
            glBindTexture(GL_TEXTURE_2D, names[static_cast<size_t>(i)]);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE,
                            pixels + (static_cast<size_t>(y) * width + x) * 3);
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }
    // One quad per texture, the tiles of a frame `width` wide in rows.
    void Draw(int32_t width) {
        const int perRow = (width + tileWidth - 1) / tileWidth;
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
        for (int i = 0; i < static_cast<int>(names.size()); ++i) {
            const float x = static_cast<float>((i % perRow) * tileWidth);
            const float y = static_cast<float>((i / perRow) * tileHeight);
            glBindTexture(GL_TEXTURE_2D, names[static_cast<size_t>(i)]);
            glBegin(GL_QUADS);
            glTexCoord2f(0, 0);
            glVertex2f(x, y);
            glTexCoord2f(0, 1);
            glVertex2f(x, y + static_cast<float>(tileHeight));
            glTexCoord2f(1, 1);
            glVertex2f(x + static_cast<float>(tileWidth), y + static_cast<float>(tileHeight));
            glTexCoord2f(1, 0);
            glVertex2f(x + static_cast<float>(tileWidth), y);
            glEnd();
        }
        glDisable(GL_TEXTURE_2D);
    }
    void Frame(const uint8_t* pixels, int32_t side) {
        Upload(pixels, side, side);
        Draw(side);
    }

    std::vector<GLuint> names;
    int32_t tileWidth, tileHeight;
};

}  // namespace orva::bench
