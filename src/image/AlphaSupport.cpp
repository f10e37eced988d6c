#include "image/AlphaSupport.h"

#include <GL/gl.h>

#include <algorithm>

const std::vector<ImagePiece>& wholeImage() {
    static const std::vector<ImagePiece> whole = {{0, 1, 0, 1, 0, 1}};
    return whole;
}

std::vector<ImagePiece> alphaPieces(const std::vector<std::vector<unsigned char>>& levels, int w, int h,
                                    int bandRows) {
    if (w <= 0 || h <= 0 || levels.empty()) return wholeImage();
    // Level-0 texels that some sample at a heeded level could read non-zero
    // alpha from: a texel of level L stands for a 2^L block, and a bilinear
    // sample reads it from up to one texel of that level away.
    std::vector<char> hit(static_cast<size_t>(w) * h, 0);
    for (size_t level = 0; level < levels.size(); ++level) {
        const int block = 1 << level;
        const int lw = std::max(1, w >> level), lh = std::max(1, h >> level);
        const std::vector<unsigned char>& alpha = levels[level];
        if (alpha.size() < static_cast<size_t>(lw) * lh) return wholeImage();
        for (int j = 0; j < lh; ++j)
            for (int i = 0; i < lw; ++i) {
                if (alpha[static_cast<size_t>(j) * lw + i] == 0) continue;
                for (int y = (j - 1) * block; y < (j + 2) * block; ++y)
                    for (int x = (i - 1) * block; x < (i + 2) * block; ++x)
                        hit[static_cast<size_t>((y % h + h) % h) * w + (x % w + w) % w] = 1;
            }
    }
    // Bands: first and last row (y1 past it) and column span [x0, x1).
    struct Band {
        int y0, y1, x0, x1;
    };
    std::vector<Band> bands;
    for (int y0 = 0; y0 < h; y0 += bandRows) {
        const int y1 = std::min(h, y0 + bandRows);
        int x0 = w, x1 = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < w; ++x)
                if (hit[static_cast<size_t>(y) * w + x]) x0 = std::min(x0, x), x1 = std::max(x1, x + 1);
        if (x1 == 0) continue;
        if (!bands.empty() && bands.back().y1 == y0 && bands.back().x0 == x0 && bands.back().x1 == x1)
            bands.back().y1 = y1;
        else
            bands.push_back({y0, y1, x0, x1});
    }
    std::vector<ImagePiece> pieces;
    for (size_t i = 0; i < bands.size(); ++i) {
        const Band& b = bands[i];
        int top0 = b.x0, top1 = b.x1, bottom0 = b.x0, bottom1 = b.x1;
        if (i > 0 && bands[i - 1].y1 == b.y0)
            top0 = std::min(top0, bands[i - 1].x0), top1 = std::max(top1, bands[i - 1].x1);
        if (i + 1 < bands.size() && bands[i + 1].y0 == b.y1)
            bottom0 = std::min(bottom0, bands[i + 1].x0), bottom1 = std::max(bottom1, bands[i + 1].x1);
        const float fw = static_cast<float>(w), fh = static_cast<float>(h);
        pieces.push_back({b.y0 / fh, b.y1 / fh, top0 / fw, top1 / fw, bottom0 / fw, bottom1 / fw});
    }
    return pieces;
}

std::vector<unsigned char> boundTextureImage(int* width, int* height) {
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    *width = *height = 0;
    if (w <= 0 || h <= 0) return {};
    std::vector<unsigned char> rgba(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    *width = w, *height = h;
    return rgba;
}

std::vector<ImagePiece> boundTexturePieces() {
    GLint w = 0, h = 0, minFilter = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    if (w <= 0 || h <= 0) return wholeImage();
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    const int maxLevel = minFilter == GL_LINEAR || minFilter == GL_NEAREST ? 0 : 30;
    std::vector<std::vector<unsigned char>> levels;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int level = 0; level <= maxLevel; ++level) {
        GLint lw = 0, lh = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &lw);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &lh);
        // A level the texture lacks is never sampled.
        if (lw != std::max(1, w >> level) || lh != std::max(1, h >> level)) break;
        levels.emplace_back(static_cast<size_t>(lw) * lh);
        glGetTexImage(GL_TEXTURE_2D, level, GL_ALPHA, GL_UNSIGNED_BYTE, levels.back().data());
    }
    return alphaPieces(levels, w, h);
}
