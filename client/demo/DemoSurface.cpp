#include "client/demo/DemoSurface.h"
#include "client/demo/DemoItems.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace demo;

// Items of the flexible surface.
constexpr int COLOUR_MODE = 45;
constexpr int X_VALUES = 70;
constexpr int Y_VALUES = 71;
constexpr int Z_VALUES = 72;
constexpr int COLOURS = 73;
constexpr int TWO_SIDED = 77;
constexpr int ROW_COUNT = 78;
constexpr int COLUMN_COUNT = 79;

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
    p.setHeader(GNP2::makeHeader(std::uint32_t(SHEET), FLEX_SURFACE));
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
        p.setIntVector(ROW_COUNT, {ROWS});
        p.setIntVector(COLUMN_COUNT, {COLUMNS});
        p.setFloatVector(X_VALUES, x);
        p.setFloatVector(Y_VALUES, y);
        p.setIntVector(TWO_SIDED, {1});
        p.setIntVector(COLOUR_MODE, {1});
        p.setFloatVector(POSITION, {X, Y, Z});
    }
    p.setFloatVector(Z_VALUES, z);
    p.setIntVector(COLOURS, colours);
    client.queue(p);
}
