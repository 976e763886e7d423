#include "client/demo/DemoSurface.h"

#include <algorithm>
#include <cmath>

#include "orvane/Protocol.h"

namespace {

namespace item = orvane::item;

// Items of the flexible surface.

constexpr int VERTICES = DemoSurface::ROWS * DemoSurface::COLUMNS;

float spacing(int count)
{
    return DemoSurface::SIZE / float(count - 1);
}

} // namespace

float DemoSurface::height(int r, int c, float t)
{
    const float x = float(c) * spacing(COLUMNS), y = float(r) * spacing(ROWS);
    return 0.5f * AMPLITUDE * (std::sin(2.6f * x - 1.9f * t) + std::sin(1.7f * (x + y) + 1.3f * t));
}

int DemoSurface::colour(float height)
{
    // 0 in the deepest trough, 1 on the highest crest.
    const float s = std::clamp(0.5f + 0.5f * height / AMPLITUDE, 0.0f, 1.0f);
    const auto byte = [](float v) { return int(std::lround(255.0f * std::clamp(v, 0.0f, 1.0f))); };
    const int red = byte(s * s), green = byte(0.25f + 0.75f * s), blue = byte(0.6f + 0.4f * s);
    return red * 1000000 + green * 1000 + blue;
}

void DemoSurface::step(orvane::SimulationClient& client, float t, bool created)
{
    GNP2::Packet p;
    p.setHeader(GNP2::makeHeader(std::uint32_t(SHEET), orvane::kind::FlexSurface));
    std::vector<float> z(VERTICES);
    std::vector<int> colours(VERTICES);
    for (int r = 0; r < ROWS; ++r)
        for (int c = 0; c < COLUMNS; ++c) {
            const int k = r * COLUMNS + c;
            z[std::size_t(k)] = height(r, c, t);
            colours[std::size_t(k)] = colour(z[std::size_t(k)]);
        }
    if (!created) {
        std::vector<float> x(VERTICES), y(VERTICES);
        for (int k = 0; k < VERTICES; ++k) {
            x[std::size_t(k)] = float(k % COLUMNS) * spacing(COLUMNS);
            y[std::size_t(k)] = float(k / COLUMNS) * spacing(ROWS);
        }
        p.setIntVector(item::flex_surface::Rows, {ROWS});
        p.setIntVector(item::flex_surface::Columns, {COLUMNS});
        p.setFloatVector(item::flex_surface::X, x);
        p.setFloatVector(item::flex_surface::Y, y);
        p.setIntVector(item::flex_surface::TwoSided, {1});
        p.setIntVector(item::flex_surface::ColourMode, {1});
        p.setFloatVector(item::flex_surface::Position, {X, Y, Z});
    }
    p.setFloatVector(item::flex_surface::Z, z);
    p.setIntVector(item::flex_surface::VertexColours, colours);
    client.queue(p);
}
