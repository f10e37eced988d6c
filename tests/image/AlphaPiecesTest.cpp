// The pieces of an image outside which it samples alpha 0: margins for the
// bilinear filter and the mipmap levels, wrapping, and pieces that meet
// along whole shared edges.
#include "image/AlphaSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Levels = std::vector<std::vector<unsigned char>>;

// A w x h alpha of zeros with the texels listed set to 255.
std::vector<unsigned char> alphaWith(int w, int h, std::initializer_list<std::pair<int, int>> texels) {
    std::vector<unsigned char> a(static_cast<size_t>(w) * h, 0);
    for (auto [x, y] : texels) a[static_cast<size_t>(y) * w + x] = 255;
    return a;
}

void expectPiece(const ImagePiece& p, float t0, float t1, float top0, float top1, float bottom0, float bottom1) {
    EXPECT_FLOAT_EQ(p.t0, t0);
    EXPECT_FLOAT_EQ(p.t1, t1);
    EXPECT_FLOAT_EQ(p.top0, top0);
    EXPECT_FLOAT_EQ(p.top1, top1);
    EXPECT_FLOAT_EQ(p.bottom0, bottom0);
    EXPECT_FLOAT_EQ(p.bottom1, bottom1);
}

TEST(AlphaPieces, OneTexelReachesItsNeighboursAtLevelZero) {
    // Texel (20, 20) of 64 x 64: samples read it from texels 19 to 21, in
    // the bands of 8 rows holding rows 16 to 23.
    const auto pieces = alphaPieces({alphaWith(64, 64, {{20, 20}})}, 64, 64);
    ASSERT_EQ(pieces.size(), 1u);
    expectPiece(pieces[0], 16 / 64.f, 24 / 64.f, 19 / 64.f, 22 / 64.f, 19 / 64.f, 22 / 64.f);

    // On a band's edge the margin reaches into the band above.
    const auto edge = alphaPieces({alphaWith(64, 64, {{20, 24}})}, 64, 64);
    ASSERT_EQ(edge.size(), 1u); // the same span twice: one piece
    expectPiece(edge[0], 16 / 64.f, 32 / 64.f, 19 / 64.f, 22 / 64.f, 19 / 64.f, 22 / 64.f);
}

TEST(AlphaPieces, NeighbouringBandsShareTheUnionOfTheirSpans) {
    // Rows 0..7 reach columns 1..3, rows 8..15 columns 29..31 (texel 30 on row 12).
    const auto pieces = alphaPieces({alphaWith(32, 16, {{2, 3}, {30, 12}})}, 32, 16);
    ASSERT_EQ(pieces.size(), 2u);
    expectPiece(pieces[0], 0, 0.5f, 1 / 32.f, 4 / 32.f, 1 / 32.f, 1);
    expectPiece(pieces[1], 0.5f, 1, 1 / 32.f, 1, 29 / 32.f, 1);
    // A gap of empty bands: no shared edge.
    const auto apart = alphaPieces({alphaWith(8, 32, {{4, 2}, {4, 29}})}, 8, 32);
    ASSERT_EQ(apart.size(), 2u);
    expectPiece(apart[0], 0, 8 / 32.f, 3 / 8.f, 6 / 8.f, 3 / 8.f, 6 / 8.f);
    expectPiece(apart[1], 24 / 32.f, 1, 3 / 8.f, 6 / 8.f, 3 / 8.f, 6 / 8.f);
}

TEST(AlphaPieces, EdgeTexelsWrapToTheOppositeSide) {
    // Texel (4, 0) of 32 x 32 is read by samples in the last row too (repeat):
    // the first band and the last, apart.
    const auto rows = alphaPieces({alphaWith(32, 32, {{4, 0}})}, 32, 32);
    ASSERT_EQ(rows.size(), 2u);
    expectPiece(rows[0], 0, 8 / 32.f, 3 / 32.f, 6 / 32.f, 3 / 32.f, 6 / 32.f);
    expectPiece(rows[1], 24 / 32.f, 1, 3 / 32.f, 6 / 32.f, 3 / 32.f, 6 / 32.f);
    // Texel (0, 12): columns 31, 0 and 1, so the band's span is the whole row.
    const auto columns = alphaPieces({alphaWith(32, 32, {{0, 12}})}, 32, 32);
    ASSERT_EQ(columns.size(), 1u);
    expectPiece(columns[0], 8 / 32.f, 16 / 32.f, 0, 1, 0, 1);
}

TEST(AlphaPieces, AMipmapLevelReachesItsWholeBlockAndOneMore) {
    // Level 1 of 32 x 32 (16 x 16): texel (5, 5) stands for level-0 texels
    // 10..11 and is read from 8..13.
    Levels levels = {std::vector<unsigned char>(32 * 32, 0), alphaWith(16, 16, {{5, 5}})};
    const auto pieces = alphaPieces(levels, 32, 32);
    ASSERT_EQ(pieces.size(), 1u);
    expectPiece(pieces[0], 8 / 32.f, 16 / 32.f, 8 / 32.f, 14 / 32.f, 8 / 32.f, 14 / 32.f);
}

TEST(AlphaPieces, NothingToDrawOrNothingKnown) {
    EXPECT_TRUE(alphaPieces({std::vector<unsigned char>(64, 0)}, 8, 8).empty());
    // No image, or a level shorter than its size says: the whole image.
    for (const auto& pieces : {alphaPieces({}, 0, 0), alphaPieces({std::vector<unsigned char>(10, 1)}, 8, 8),
                               alphaPieces({std::vector<unsigned char>(64, 1)}, 8, -8)}) {
        ASSERT_EQ(pieces.size(), 1u);
        expectPiece(pieces[0], 0, 1, 0, 1, 0, 1);
    }
    // Full alpha: one piece over the whole image.
    const auto full = alphaPieces({std::vector<unsigned char>(40 * 24, 200)}, 40, 24);
    ASSERT_EQ(full.size(), 1u);
    expectPiece(full[0], 0, 1, 0, 1, 0, 1);
}

} // namespace
