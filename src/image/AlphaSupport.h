// Where an image's alpha can be sampled above 0. A blended image (alpha
// blending with GL_SRC_ALPHA, the depth test off) leaves every pixel where it
// samples alpha 0 exactly as it was, so a quad textured with the whole image
// need only be drawn over the pieces listed here: the same pixels for fewer
// fragments, which is what costs on a software rasteriser.
//
// The pieces are bands of texel rows, each with the column span outside
// which a bilinear sample at any mipmap level the texture can use reads
// alpha 0 only (a sample reads texels less than one texel of its level away,
// and repeating textures wrap). Their edges lie on texel boundaries.
//
// Blended pieces must neither overlap nor leave cracks: two bands that meet
// share their whole common edge, the union of their spans on it, so each
// piece is a trapezoid from its top edge to its bottom edge (holding its own
// band whole).
#pragma once

#include <vector>

struct ImagePiece {
    float t0, t1;         // the band's rows in texture coordinates, t0 < t1
    float top0, top1;     // s at either end of the edge at t0
    float bottom0, bottom1; // s at either end of the edge at t1
};

// The whole image as one piece.
const std::vector<ImagePiece>& wholeImage();

// The pieces of an image given its level-0 alpha (w x h, rows t = 0 first)
// and, for each further level to heed, that level's alpha. `bandRows` texel
// rows per band at most; bands with the same span are merged.
std::vector<ImagePiece> alphaPieces(const std::vector<std::vector<unsigned char>>& levels, int w, int h,
                                    int bandRows = 8);

// Level 0 of the bound GL_TEXTURE_2D read back as RGBA, 4 bytes a texel,
// row t = 0 first; its size into `width` and `height`. Empty (and 0 x 0)
// when it has no level 0.
std::vector<unsigned char> boundTextureImage(int* width, int* height);

// The pieces of the bound GL_TEXTURE_2D, read back from the levels its
// minification filter samples (level 0 alone unless it is a mipmap filter).
// The whole image when it has no level 0.
std::vector<ImagePiece> boundTexturePieces();
