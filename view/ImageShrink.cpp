#include "view/ImageShrink.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace view {

namespace {

// Four channels each of pixels `pixels` x 2 wide of rows `top` and
// `bottom`, averaged pairwise into `out`.
void halveRow(const std::uint8_t* top, const std::uint8_t* bottom, std::uint8_t* out, int pixels)
{
    int x = 0;
#if defined(__SSE2__)
    // Two output pixels a step: four source pixels of each row, widened to
    // 16 bits, summed down the column, then across neighbouring pixels.
    const __m128i zero = _mm_setzero_si128();
    const __m128i two = _mm_set1_epi16(2);
    for (; x + 2 <= pixels; x += 2) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 8 * x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 8 * x));
        const __m128i first = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
        const __m128i second =
            _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
        const __m128i sums =
            _mm_add_epi16(_mm_unpacklo_epi64(first, second), _mm_unpackhi_epi64(first, second));
        const __m128i means = _mm_srli_epi16(_mm_add_epi16(sums, two), 2);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(means, zero));
    }
#endif
    for (; x < pixels; ++x) {
        for (int c = 0; c < 4; ++c) {
            const int sum =
                top[8 * x + c] + top[8 * x + 4 + c] + bottom[8 * x + c] + bottom[8 * x + 4 + c];
            out[4 * x + c] = static_cast<std::uint8_t>((sum + 2) >> 2);
        }
    }
}

} // namespace

void halveRows(const std::uint8_t* source, std::size_t sourceStride, std::uint8_t* target,
               std::size_t targetStride, int width, int rows)
{
    for (int y = 0; y < rows; ++y, source += 2 * sourceStride, target += targetStride)
        halveRow(source, source + sourceStride, target, width);
}

} // namespace view
