#include "client/tools/McapExport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "client/tools/McapWriter.h"
#include "client/tools/ReplayTool.h"
#include "gnp2/ReplayRecord.h"
#include "orvane/Protocol.h"
#include "orvane/ProtocolTable.h"

namespace orvane::replaytool {

namespace {

namespace item = orvane::item;
using namespace std::string_view_literals;

// ---------------------------------------------------------------------------
// JSON text, appended to the message being written.

void appendNumber(std::string& o, float value)
{
    if (!std::isfinite(value))
        value = 0.f; // the schemas want numbers; JSON has no NaN or infinity
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    o.append(text, result.ptr);
}

void appendInteger(std::string& o, std::int64_t value)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    o.append(text, result.ptr);
}

// Appends `c` (below 0x800 or a whole sequence) as UTF-8.
void appendCodePoint(std::string& o, unsigned c)
{
    if (c < 0x80) {
        o.push_back(char(c));
    } else {
        o.push_back(char(0xC0 | (c >> 6)));
        o.push_back(char(0x80 | (c & 0x3F)));
    }
}

// The length of the well-formed UTF-8 sequence at p (of n bytes), 0 if none.
std::size_t utf8Length(const unsigned char* p, std::size_t n)
{
    const unsigned char c = p[0];
    std::size_t length;
    if (c >= 0xC2 && c <= 0xDF)
        length = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        length = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        length = 4;
    else
        return 0;
    if (length > n)
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((p[k] & 0xC0) != 0x80)
            return 0;
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0) || (c == 0xF0 && p[1] < 0x90) ||
        (c == 0xF4 && p[1] >= 0x90))
        return 0;
    return length;
}

// A JSON string of the bytes of a char item: UTF-8 kept as it is, control
// characters as \u00XX, and a byte that starts no UTF-8 sequence taken as
// Latin-1 (what simulations on Windows send). Trailing zeros (a C string's
// end sent along) are dropped.
void appendString(std::string& o, const unsigned char* p, std::size_t n)
{
    while (n > 0 && p[n - 1] == 0)
        --n;
    o.push_back('"');
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            o.push_back('\\');
            o.push_back(char(c));
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            o += escaped;
            ++i;
        } else if (c < 0x80) {
            o.push_back(char(c));
            ++i;
        } else if (const std::size_t length = utf8Length(p + i, n - i)) {
            o.append(reinterpret_cast<const char*>(p + i), length);
            i += length;
        } else {
            appendCodePoint(o, c);
            ++i;
        }
    }
    o.push_back('"');
}

void appendString(std::string& o, std::string_view text)
{
    appendString(o, reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

void appendTime(std::string& o, std::uint64_t ns)
{
    o += "{\"sec\":"sv;
    appendInteger(o, std::int64_t(ns / 1000000000u));
    o += ",\"nsec\":"sv;
    appendInteger(o, std::int64_t(ns % 1000000000u));
    o += '}';
}

struct Vec3
{
    float x = 0.f, y = 0.f, z = 0.f;
};

Vec3 operator+(Vec3 a, Vec3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(Vec3 a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
float dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float length(Vec3 a)
{
    return std::sqrt(dot(a, a));
}
Vec3 normalised(Vec3 a, Vec3 fallback)
{
    const float l = length(a);
    return l > 1e-12f ? a * (1.f / l) : fallback;
}

struct Quat
{
    float x = 0.f, y = 0.f, z = 0.f, w = 1.f;
};

// The rotation whose matrix has the rows u, v and u x v: the turn an
// orientation item gives (world = R * local).
Quat quatFromRows(Vec3 u, Vec3 v)
{
    const Vec3 w = cross(u, v);
    const float m00 = u.x, m01 = u.y, m02 = u.z;
    const float m10 = v.x, m11 = v.y, m12 = v.z;
    const float m20 = w.x, m21 = w.y, m22 = w.z;
    const float trace = m00 + m11 + m22;
    Quat q;
    // The largest of w, x, y, z is found from the diagonal and divides the
    // others, which keeps the result exact near half turns.
    if (trace > 0.f) {
        const float s = 2.f * std::sqrt(trace + 1.f);
        q = {(m21 - m12) / s, (m02 - m20) / s, (m10 - m01) / s, 0.25f * s};
    } else if (m00 > m11 && m00 > m22) {
        const float s = 2.f * std::sqrt(std::max(1e-30f, 1.f + m00 - m11 - m22));
        q = {0.25f * s, (m01 + m10) / s, (m02 + m20) / s, (m21 - m12) / s};
    } else if (m11 > m22) {
        const float s = 2.f * std::sqrt(std::max(1e-30f, 1.f + m11 - m00 - m22));
        q = {(m01 + m10) / s, 0.25f * s, (m12 + m21) / s, (m02 - m20) / s};
    } else {
        const float s = 2.f * std::sqrt(std::max(1e-30f, 1.f + m22 - m00 - m11));
        q = {(m02 + m20) / s, (m12 + m21) / s, 0.25f * s, (m10 - m01) / s};
    }
    const float n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(n > 1e-12f))
        return {};
    const float r = 1.f / n;
    return {q.x * r, q.y * r, q.z * r, q.w * r};
}

// The turn that takes +x to `direction`.
Quat quatFromX(Vec3 direction)
{
    const Vec3 d = normalised(direction, {1.f, 0.f, 0.f});
    if (d.x < -0.999999f)
        return {0.f, 0.f, 1.f, 0.f};
    const Vec3 axis = cross({1.f, 0.f, 0.f}, d);
    const float w = 1.f + d.x;
    const float n = std::sqrt(dot(axis, axis) + w * w);
    return {axis.x / n, axis.y / n, axis.z / n, w / n};
}

// An object of numbers with one-letter keys, {"x":..,"y":..} for the keys
// "xy": built in one buffer and appended once (it is most of every message).
template <std::size_t N>
void appendFields(std::string& o, const char (&keys)[N], const float (&values)[N - 1])
{
    char text[(N - 1) * 24 + 2];
    char* p = text;
    for (std::size_t k = 0; k + 1 < N; ++k) {
        p[0] = k ? ',' : '{';
        p[1] = '"';
        p[2] = keys[k];
        p[3] = '"';
        p[4] = ':';
        p += 5;
        const float value = std::isfinite(values[k]) ? values[k] : 0.f;
        p = std::to_chars(p, text + sizeof text, value).ptr;
    }
    *p++ = '}';
    o.append(text, std::size_t(p - text));
}

void appendVec(std::string& o, Vec3 v)
{
    appendFields(o, "xyz", {v.x, v.y, v.z});
}

void appendQuat(std::string& o, Quat q)
{
    appendFields(o, "xyzw", {q.x, q.y, q.z, q.w});
}

void appendPose(std::string& o, Vec3 position = {}, Quat orientation = {})
{
    o += "{\"position\":"sv;
    appendVec(o, position);
    o += ",\"orientation\":"sv;
    appendQuat(o, orientation);
    o += '}';
}

struct Colour
{
    float r = 1.f, g = 1.f, b = 1.f, a = 1.f;
};

void appendColour(std::string& o, Colour c)
{
    appendFields(o, "rgba", {c.r, c.g, c.b, c.a});
}

// The elements of `values`, each by `append`, separated by commas.
template <class Values, class Append>
void appendEach(std::string& o, const Values& values, Append&& append)
{
    bool first = true;
    for (const auto& value : values) {
        if (!first)
            o += ',';
        first = false;
        append(o, value);
    }
}

// One JSON object written field by field into `o`, in the order the calls
// come; the closing brace is written when the writer goes out of scope.
class JsonObject
{
public:
    explicit JsonObject(std::string& o) : _o(o) { _o += '{'; }
    ~JsonObject() { _o += '}'; }
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;

    JsonObject& pose(Vec3 position = {}, Quat orientation = {})
    {
        appendPose(key("pose"), position, orientation);
        return *this;
    }
    // A field whose value `append` writes.
    template <class Value, class Append>
    JsonObject& field(std::string_view name, const Value& value, Append&& append)
    {
        append(key(name), value);
        return *this;
    }
    JsonObject& number(std::string_view name, float v) { return field(name, v, appendNumber); }
    JsonObject& integer(std::string_view name, std::int64_t v)
    {
        return field(name, v, appendInteger);
    }
    JsonObject& vec(std::string_view name, Vec3 v) { return field(name, v, appendVec); }
    JsonObject& colour(std::string_view name, Colour v) { return field(name, v, appendColour); }
    JsonObject& flag(std::string_view name, bool v)
    {
        key(name) += v ? "true"sv : "false"sv;
        return *this;
    }
    JsonObject& string(std::string_view name, std::string_view v)
    {
        appendString(key(name), v);
        return *this;
    }
    // An array of `values`, each written by `append`.
    template <class Values, class Append>
    JsonObject& array(std::string_view name, const Values& values, Append&& append)
    {
        std::string& o = key(name);
        o += '[';
        appendEach(o, values, std::forward<Append>(append));
        o += ']';
        return *this;
    }

private:
    // Writes the separator and the key of the next field.
    std::string& key(std::string_view name)
    {
        if (!_first)
            _o += ',';
        _first = false;
        _o += '"';
        _o += name;
        _o += "\":"sv;
        return _o;
    }

    std::string& _o;
    bool _first = true;
};

constexpr auto asVec = [](std::string& o, Vec3 v) { appendVec(o, v); };
constexpr auto asColour = [](std::string& o, Colour c) { appendColour(o, c); };
constexpr auto asInteger = [](std::string& o, std::uint32_t i) { appendInteger(o, i); };
const std::vector<Colour> noColours;
const std::vector<std::uint32_t> noIndices;

// ---------------------------------------------------------------------------
// The items of one record, read in place from its frame.

class Items
{
public:
    struct View
    {
        const unsigned char* record = nullptr; // the item record: index, count, type, data
        std::int32_t count = 0;
        unsigned char type = 0;
        const unsigned char* data() const { return record + GNP2::RECORD_HEADER_SIZE; }
        std::size_t recordSize() const
        {
            return GNP2::RECORD_HEADER_SIZE + std::size_t(count) * GNP2::ELEMENT_SIZE[type];
        }
    };

    // `frame`: length word, header word, item records (checked by the scan).
    void read(const unsigned char* frame, std::size_t size)
    {
        for (int index : _present)
            _items[std::size_t(index)] = {};
        _present.clear();
        std::size_t at = GNP2::FRAME_HEADER_SIZE;
        while (at + GNP2::RECORD_HEADER_SIZE <= size) {
            const unsigned char* r = frame + at;
            View view{r, std::int32_t(GNP2::readU32(r + 1)), r[5]};
            if (r[0] >= GNP2::ITEM_COUNT || view.count < 0 || view.type > GNP2::MAX_TYPE_CODE)
                break;
            _items[r[0]] = view;
            _present.push_back(r[0]);
            at += view.recordSize();
        }
    }

    const std::vector<int>& present() const { return _present; }
    const View& operator[](int index) const { return _items[std::size_t(index)]; }

    bool has(int index, unsigned char type, std::int32_t least = 1) const
    {
        const View& v = _items[std::size_t(index)];
        return v.record && v.type == type && v.count >= least;
    }
    float f(int index, std::int32_t k, float fallback) const
    {
        if (!has(index, GNP2::TYPE_FLOAT, k + 1))
            return fallback;
        const std::uint32_t bits = GNP2::readU32(_items[std::size_t(index)].data() + 4 * k);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    std::int32_t i(int index, std::int32_t k, std::int32_t fallback) const
    {
        if (!has(index, GNP2::TYPE_INT, k + 1))
            return fallback;
        return std::int32_t(GNP2::readU32(_items[std::size_t(index)].data() + 4 * k));
    }
    Vec3 vec(int index, Vec3 fallback, std::int32_t first = 0) const
    {
        if (!has(index, GNP2::TYPE_FLOAT, first + 3))
            return fallback;
        return {f(index, first, 0.f), f(index, first + 1, 0.f), f(index, first + 2, 0.f)};
    }
    std::int32_t count(int index) const { return _items[std::size_t(index)].count; }
    std::string_view text(int index) const
    {
        if (!has(index, GNP2::TYPE_CHAR))
            return {};
        const View& v = _items[std::size_t(index)];
        std::size_t n = std::size_t(v.count);
        while (n > 0 && v.data()[n - 1] == 0)
            --n;
        return {reinterpret_cast<const char*>(v.data()), n};
    }
    // Colour from an item of three ints 0-255 and an opacity item.
    Colour colour(int rgb, int opacity, Colour fallback = {}) const
    {
        Colour c = fallback;
        if (has(rgb, GNP2::TYPE_INT, 3)) {
            c.r = float(i(rgb, 0, 255)) / 255.f;
            c.g = float(i(rgb, 1, 255)) / 255.f;
            c.b = float(i(rgb, 2, 255)) / 255.f;
        }
        if (opacity >= 0)
            c.a = f(opacity, 0, c.a);
        return c;
    }

private:
    std::array<View, GNP2::ITEM_COUNT> _items{};
    std::vector<int> _present;
};

// The items of an object that place it (its frame's pose) rather than shape
// it: position and orientation for the kinds with a transform.
struct Placement
{
    int position = -1, orientation = -1;
};

Placement placementOf(std::uint32_t kind)
{
    switch (kind) {
    case kind::Shape:
    case kind::ModelFile:
    case kind::Light:
    case kind::Text:
    case kind::FlexBody:
    case kind::FlexSurface:
    case kind::ParticleEffect:
        return {item::shape::Position, item::shape::Orientation};
    case kind::FlowPipe:
        return {item::flow_pipe::Start, item::flow_pipe::Orientation};
    default:
        return {};
    }
}

// Items that neither place nor shape what is exported: the time and the
// connection of every packet, and the flow position of a pipe, which moves
// only the flow indicators.
bool ignored(std::uint32_t kind, int index)
{
    return index == item::Time || index == item::Connection ||
           (kind == kind::FlowPipe && index == item::flow_pipe::FlowPosition);
}

// ---------------------------------------------------------------------------
// The primitives of one entity, gathered per array of the scene message.

struct Primitives
{
    std::string arrows, cubes, spheres, cylinders, lines, triangles, texts, models, metadata;

    void clear()
    {
        for (std::string* s : {&arrows, &cubes, &spheres, &cylinders, &lines, &triangles, &texts,
                               &models, &metadata})
            s->clear();
    }
    // No drawn primitive (metadata aside).
    bool empty() const
    {
        return arrows.empty() && cubes.empty() && spheres.empty() && cylinders.empty() &&
               lines.empty() && triangles.empty() && texts.empty() && models.empty();
    }
    // Starts the next element of `array`.
    static std::string& next(std::string& array)
    {
        if (!array.empty())
            array.push_back(',');
        return array;
    }
};

void cube(Primitives& p, Vec3 centre, Vec3 size, Colour c, std::string Primitives::*array)
{
    JsonObject(Primitives::next(p.*array)).pose(centre).vec("size", size).colour("color", c);
}

void cylinder(Primitives& p, Vec3 centre, Vec3 size, float bottom, float top, Colour c)
{
    JsonObject(Primitives::next(p.cylinders))
        .pose(centre)
        .vec("size", size)
        .number("bottom_scale", bottom)
        .number("top_scale", top)
        .colour("color", c);
}

void arrow(Primitives& p, Vec3 from, Quat turn, float shaft, float shaftWidth, float head,
           float headWidth, Colour c)
{
    JsonObject(Primitives::next(p.arrows))
        .pose(from, turn)
        .number("shaft_length", shaft)
        .number("shaft_diameter", shaftWidth)
        .number("head_length", head)
        .number("head_diameter", headWidth)
        .colour("color", c);
}

void text(Primitives& p, Vec3 at, bool billboard, float size, Colour c, std::string_view label)
{
    JsonObject(Primitives::next(p.texts))
        .pose(at)
        .flag("billboard", billboard)
        .number("font_size", size)
        .flag("scale_invariant", false)
        .colour("color", c)
        .string("text", label);
}

void lineStrip(Primitives& p, const std::vector<Vec3>& points, float width, Colour c)
{
    JsonObject(Primitives::next(p.lines))
        .integer("type", 0)
        .pose()
        .number("thickness", width)
        .flag("scale_invariant", true)
        .array("points", points, asVec)
        .colour("color", c)
        .array("colors", noColours, asColour)
        .array("indices", noIndices, asInteger);
}

void triangles(Primitives& p, const std::vector<Vec3>& points, const std::vector<Colour>& colours,
               const std::vector<std::uint32_t>& indices, Colour c)
{
    JsonObject(Primitives::next(p.triangles))
        .pose()
        .array("points", points, asVec)
        .colour("color", c)
        .array("colors", colours, asColour)
        .array("indices", indices, asInteger);
}

void model(Primitives& p, const std::string& url, Vec3 scale, Colour c, bool overrideColour)
{
    JsonObject(Primitives::next(p.models))
        .pose()
        .vec("scale", scale)
        .colour("color", c)
        .flag("override_color", overrideColour)
        .string("url", url)
        .string("media_type", "")
        .string("data", "");
}

void metadata(Primitives& p, std::string_view key, std::string_view value)
{
    JsonObject(Primitives::next(p.metadata)).string("key", key).string("value", value);
}

// The value of an item as metadata text: the characters, or the numbers
// separated by spaces (a long array by its length).
std::string itemText(const Items::View& v)
{
    if (v.type == GNP2::TYPE_CHAR) {
        std::string value(reinterpret_cast<const char*>(v.data()), std::size_t(v.count));
        while (!value.empty() && value.back() == '\0')
            value.pop_back();
        return value;
    }
    if (v.type != GNP2::TYPE_INT && v.type != GNP2::TYPE_FLOAT)
        return std::to_string(v.count) + " elements of type " + std::to_string(v.type);
    if (v.count > 16)
        return std::to_string(v.count) + " values";
    std::string value;
    for (std::int32_t k = 0; k < v.count; ++k) {
        if (k)
            value += ' ';
        const std::uint32_t bits = GNP2::readU32(v.data() + 4 * std::size_t(k));
        if (v.type == GNP2::TYPE_INT) {
            appendInteger(value, std::int32_t(bits));
        } else {
            float number;
            std::memcpy(&number, &bits, sizeof number);
            appendNumber(value, number);
        }
    }
    return value;
}

// Points of a curve through `control` by the Bernstein form, at `samples`
// parameters from 0 to 1.
std::vector<Vec3> bezier(const std::vector<Vec3>& control, int samples, float step)
{
    std::vector<Vec3> points;
    const std::size_t n = control.size();
    if (n == 0)
        return points;
    for (int s = 0; s < samples; ++s) {
        const double t = std::min(1.0, double(s) * double(step));
        double x = 0, y = 0, z = 0, binomial = 1;
        for (std::size_t k = 0; k < n; ++k) {
            if (k)
                binomial = binomial * double(n - k) / double(k);
            const double weight =
                binomial * std::pow(t, double(k)) * std::pow(1.0 - t, double(n - 1 - k));
            x += weight * control[k].x;
            y += weight * control[k].y;
            z += weight * control[k].z;
        }
        points.push_back({float(x), float(y), float(z)});
    }
    return points;
}

// A tube of `sides` sides around a centre line whose radius goes from
// `inlet` to `outlet`, as an indexed triangle list.
void tube(Primitives& p, const std::vector<Vec3>& centre, float inlet, float outlet, Colour c)
{
    constexpr int SIDES = 12;
    if (centre.size() < 2)
        return;
    std::vector<float> along(centre.size(), 0.f);
    for (std::size_t k = 1; k < centre.size(); ++k)
        along[k] = along[k - 1] + length(centre[k] - centre[k - 1]);
    const float total = along.back() > 0.f ? along.back() : 1.f;
    std::vector<Vec3> points;
    std::vector<std::uint32_t> indices;
    Vec3 normal{0.f, 0.f, 1.f};
    for (std::size_t k = 0; k < centre.size(); ++k) {
        const Vec3 tangent = normalised(
            centre[std::min(k + 1, centre.size() - 1)] - centre[k ? k - 1 : 0], {1.f, 0.f, 0.f});
        // Carried along the line so that the rings do not twist.
        normal = normalised(normal - tangent * dot(normal, tangent),
                            normalised(cross(tangent, {0.f, 1.f, 0.f}), {0.f, 0.f, 1.f}));
        const Vec3 binormal = cross(tangent, normal);
        const float radius = inlet + (outlet - inlet) * along[k] / total;
        for (int s = 0; s < SIDES; ++s) {
            const float a = 2.f * float(M_PI) * float(s) / float(SIDES);
            points.push_back(centre[k] + (normal * std::cos(a) + binormal * std::sin(a)) * radius);
        }
        if (k == 0)
            continue;
        const auto ring = std::uint32_t(k * SIDES), previous = ring - SIDES;
        for (std::uint32_t s = 0; s < SIDES; ++s) {
            const std::uint32_t t = (s + 1) % SIDES;
            indices.insert(indices.end(), {previous + s, previous + t, ring + s, ring + s,
                                           previous + t, ring + t});
        }
    }
    triangles(p, points, {}, indices, c);
}

// ---------------------------------------------------------------------------
// What each kind of object becomes.

// Shapes: kinds 1-5 as solids at the size of the scale item, the axes
// marker as three arrows with labels; the procedural kinds carry metadata
// only (their geometry is built by the viewer's scene library).
void shapePrimitives(Primitives& p, const Items& it)
{
    const Vec3 s = it.vec(item::shape::Scale, {1.f, 1.f, 1.f});
    const Colour c = it.colour(item::shape::Colour, item::shape::Opacity);
    switch (it.i(item::shape::ShapeKind, 0, 0)) {
    case item::shape::KIND_BOX:
        cube(p, {}, s, c, &Primitives::cubes);
        break;
    case item::shape::KIND_SPHERE:
        cube(p, {}, s, c, &Primitives::spheres);
        break;
    case item::shape::KIND_CYLINDER:
        cylinder(p, {}, s, 1.f, 1.f, c);
        break;
    case item::shape::KIND_CONE: // the base lies a quarter of the height below the origin
        cylinder(p, {0.f, 0.f, 0.25f * s.z}, s, 1.f, 0.f, c);
        break;
    case item::shape::KIND_CAPSULE: // a unit cylinder with a half sphere on each end
        cylinder(p, {}, s, 1.f, 1.f, c);
        cube(p, {0.f, 0.f, 0.5f * s.z}, s, c, &Primitives::spheres);
        cube(p, {0.f, 0.f, -0.5f * s.z}, s, c, &Primitives::spheres);
        break;
    case item::shape::KIND_COORD_SYSTEM: {
        const float r = std::sqrt(0.5f);
        const Quat turns[3] = {{}, {0.f, 0.f, r, r}, {0.f, -r, 0.f, r}};
        const Colour colours[3] = {
            {0.1f, 0.1f, 0.1f, 1.f}, {0.f, 0.7f, 0.f, 1.f}, {0.f, 0.f, 0.7f, 1.f}};
        const float scales[3] = {s.x, s.y, s.z};
        const char* labels[3] = {"x", "y", "z"};
        for (int k = 0; k < 3; ++k) {
            const float l = scales[k];
            arrow(p, {}, turns[k], 0.86f * l, 0.04f * l, 0.15f * l, 0.12f * l, colours[k]);
            Vec3 at;
            (k == 0 ? at.x : k == 1 ? at.y : at.z) = 1.1f * l;
            text(p, at, true, 0.2f * l, {0.f, 0.f, 0.f, 1.f}, labels[k]);
        }
        break;
    }
    default:
        break;
    }
}

void flowPipePrimitives(Primitives& p, const Items& it)
{
    namespace fp = item::flow_pipe;
    std::vector<Vec3> centre;
    switch (it.i(fp::PipeKind, 0, 0)) {
    case fp::KIND_STRAIGHT:
        centre = {{}, {it.f(fp::Length, 0, 0.f), 0.f, 0.f}};
        break;
    case fp::KIND_CURVED: {
        const float radius = it.f(fp::BendRadius, 0, 0.f), angle = it.f(fp::BendAngle, 0, 0.f);
        constexpr int STEPS = 24;
        for (int k = 0; k <= STEPS; ++k) {
            const float a = angle * float(k) / STEPS;
            centre.push_back({radius * std::sin(a), radius * (1.f - std::cos(a)), 0.f});
        }
        break;
    }
    case fp::KIND_BEZIER: {
        // The end and its direction in the pipe's own axes: the transpose of
        // the orientation's rotation applied to the world vectors.
        const Vec3 u = it.vec(fp::Orientation, {1.f, 0.f, 0.f});
        const Vec3 v = it.vec(fp::Orientation, {0.f, 1.f, 0.f}, 3);
        const Vec3 w = cross(u, v);
        const auto local = [&](Vec3 d) {
            return Vec3{u.x * d.x + v.x * d.y + w.x * d.z, u.y * d.x + v.y * d.y + w.y * d.z,
                        u.z * d.x + v.z * d.y + w.z * d.z};
        };
        const Vec3 end = local(it.vec(fp::End, {}) - it.vec(fp::Start, {}));
        const Vec3 direction = local(it.vec(fp::EndDirection, {1.f, 0.f, 0.f}));
        const float half = length(end) / 2.f;
        centre = bezier({{}, {half, 0.f, 0.f}, end - normalised(direction, {}) * half, end}, 33,
                        1.f / 32.f);
        break;
    }
    default:
        break;
    }
    Colour c = it.colour(fp::TubeColour, -1);
    c.a = it.has(fp::TubeOpacity, GNP2::TYPE_INT) ? 0.5f * float(it.i(fp::TubeOpacity, 0, 2)) : 1.f;
    tube(p, centre, it.f(fp::InletRadius, 0, 0.f), it.f(fp::OutletRadius, 0, 0.f), c);
}

std::string fileUrl(std::string_view name)
{
    std::error_code error;
    const std::filesystem::path path =
        std::filesystem::absolute(std::filesystem::path(std::string(name)), error);
    std::string url = "file://";
    for (const char c : (error ? std::string(name) : path.generic_string())) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::strchr("/-._~", c)) {
            url.push_back(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            url += escaped;
        }
    }
    return url;
}

// The extension of a file name in lower case ("" when it has none).
std::string extensionOf(std::string_view name)
{
    const auto dot = name.rfind('.');
    std::string extension(dot == std::string_view::npos ? "" : name.substr(dot + 1));
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

bool isTerrain(std::string_view name)
{
    const std::string extension = extensionOf(name);
    return extension == "wb" || extension == "bb";
}

// Whether Foxglove and Lichtblick read a model file by its extension
// (glTF, binary glTF, STL, COLLADA).
bool viewersRead(std::string_view name)
{
    const std::string extension = extensionOf(name);
    return extension == "glb" || extension == "gltf" || extension == "stl" || extension == "dae";
}

void modelPrimitives(Primitives& p, const Items& it, int nameItem)
{
    const std::string_view name = it.text(nameItem);
    if (name.empty() || isTerrain(name))
        return;
    model(p, fileUrl(name), it.vec(item::shape::Scale, {1.f, 1.f, 1.f}),
          it.colour(item::shape::Colour, item::shape::Opacity),
          it.has(item::shape::Colour, GNP2::TYPE_INT, 3));
}

void textPrimitives(Primitives& p, const Items& it)
{
    namespace tx = item::text;
    std::string label(it.text(tx::Text));
    if (it.i(tx::ShowValue, 0, 0) != 0) {
        char number[32];
        std::snprintf(number, sizeof number, "%g", double(it.f(tx::Value, 0, 0.f)));
        label += number;
    }
    const int alignment = it.i(tx::Alignment, 0, 0);
    text(p, {}, alignment < 1 || alignment > 3, it.f(tx::Height, 0, 1.f),
         it.colour(tx::Colour, tx::Opacity), label);
}

void linePrimitives(Primitives& p, const Items& it)
{
    namespace ln = item::line;
    const std::int32_t n =
        std::min(it.i(ln::PointCount, 0, 0),
                 it.has(ln::Points, GNP2::TYPE_FLOAT) ? it.count(ln::Points) / 3 : 0);
    std::vector<Vec3> points;
    for (std::int32_t k = 0; k < n; ++k)
        points.push_back(it.vec(ln::Points, {}, 3 * k));
    const int kind = it.i(ln::LineKind, 0, 0);
    if (kind == ln::KIND_BEZIER)
        points = bezier(points, 31, 0.033333335f);
    else if (kind != ln::KIND_POLYLINE)
        return;
    lineStrip(p, points, it.f(ln::Width, 0, 1.f), it.colour(ln::Colour, ln::Opacity));
}

void surfacePrimitives(Primitives& p, const Items& it)
{
    namespace fs = item::flex_surface;
    const std::int32_t rows = it.i(fs::Rows, 0, 0), columns = it.i(fs::Columns, 0, 0);
    if (rows < 2 || columns < 2)
        return;
    const std::int32_t n = rows * columns;
    for (int axis : {fs::X, fs::Y, fs::Z})
        if (!it.has(axis, GNP2::TYPE_FLOAT, n))
            return;
    const Vec3 s = it.vec(fs::Scale, {1.f, 1.f, 1.f});
    const bool perVertex =
        it.i(fs::ColourMode, 0, 0) != 0 && it.has(fs::VertexColours, GNP2::TYPE_INT, n);
    std::vector<Vec3> points;
    std::vector<Colour> colours;
    for (std::int32_t k = 0; k < n; ++k) {
        points.push_back(
            {it.f(fs::X, k, 0.f) * s.x, it.f(fs::Y, k, 0.f) * s.y, it.f(fs::Z, k, 0.f) * s.z});
        if (perVertex) {
            const std::int32_t packed = it.i(fs::VertexColours, k, 0);
            colours.push_back({float(packed / 1000000 % 1000) / 255.f,
                               float(packed / 1000 % 1000) / 255.f, float(packed % 1000) / 255.f,
                               it.f(fs::Opacity, 0, 1.f)});
        }
    }
    std::vector<std::uint32_t> indices;
    for (std::int32_t r = 1; r < rows; ++r)
        for (std::int32_t col = 1; col < columns; ++col) {
            const auto a = std::uint32_t((r - 1) * columns + col - 1), b = a + 1,
                       d = std::uint32_t(r * columns + col - 1), e = d + 1;
            indices.insert(indices.end(), {a, b, d, d, b, e});
        }
    triangles(p, points, colours, indices, it.colour(fs::Colour, fs::Opacity));
}

void intersectorPrimitives(Primitives& p, const Items& it)
{
    namespace is = item::intersector;
    if (it.i(is::DisplayMode, 0, 1) == 0)
        return;
    const Vec3 start = it.vec(is::Start, {}), end = it.vec(is::End, {});
    const float l = length(end - start);
    if (!(l > 0.f))
        return;
    const float head = std::min(0.2f * l, std::max(it.f(is::MarkerSize, 0, 0.05f * l), 1e-3f));
    arrow(p, start, quatFromX(end - start), l - head, head * 0.25f, head, head * 0.6f,
          {1.f, 0.2f, 0.2f, 1.f});
}

// ---------------------------------------------------------------------------

// Compact JSON schemas of the messages, with the titles viewers know them by.
constexpr const char* TIME_SCHEMA =
    R"({"type":"object","properties":{"sec":{"type":"integer","minimum":0},)"
    R"("nsec":{"type":"integer","minimum":0,"maximum":999999999}},"required":["sec","nsec"]})";

std::string sceneUpdateSchema()
{
    const std::string vec =
        R"({"type":"object","properties":{"x":{"type":"number"},"y":{"type":"number"},)"
        R"("z":{"type":"number"}}})";
    const std::string pose = R"({"type":"object","properties":{"position":)" + vec +
                             R"(,"orientation":{"type":"object"}}})";
    const std::string primitives =
        R"({"type":"array","items":{"type":"object","properties":{"pose":)" + pose + "}}}";
    std::string entity = R"({"type":"object","properties":{"timestamp":)" +
                         std::string(TIME_SCHEMA) +
                         R"(,"frame_id":{"type":"string"},"id":{"type":"string"},)"
                         R"("lifetime":{"type":"object"},"frame_locked":{"type":"boolean"},)"
                         R"("metadata":{"type":"array","items":{"type":"object","properties":)"
                         R"({"key":{"type":"string"},"value":{"type":"string"}}}})";
    for (const char* array :
         {"arrows", "cubes", "spheres", "cylinders", "lines", "triangles", "texts", "models"})
        entity += std::string(",\"") + array + "\":" + primitives;
    entity += "}}"sv;
    return R"({"title":"foxglove.SceneUpdate","type":"object","properties":{"deletions":)"
           R"({"type":"array","items":{"type":"object","properties":{"timestamp":)" +
           std::string(TIME_SCHEMA) +
           R"(,"type":{"type":"integer"},"id":{"type":"string"}}}},"entities":{"type":"array",)"
           R"("items":)" +
           entity + "}}}";
}

std::string frameTransformSchema()
{
    return R"({"title":"foxglove.FrameTransform","type":"object","properties":{"timestamp":)" +
           std::string(TIME_SCHEMA) +
           R"(,"parent_frame_id":{"type":"string"},"child_frame_id":{"type":"string"},)"
           R"("translation":{"type":"object"},"rotation":{"type":"object"}}})";
}

std::string itemsSchema(const char* title)
{
    return std::string(R"({"title":")") + title +
           R"(","type":"object","properties":{"timestamp":)" + TIME_SCHEMA +
           R"(,"connection":{"type":"integer"},"object":{"type":"integer"},)"
           R"("items":{"type":"object","additionalProperties":)"
           R"({"type":["string","array"],"items":{"type":"number"}}}}})";
}

constexpr const char* WORLD = "world";

class Exporter
{
public:
    Exporter(mcap::Writer& writer, const MeshSource& meshes) : _writer(writer), _meshes(meshes)
    {
        const auto json = [&](const char* name, const std::string& schema, const char* topic) {
            return _writer.addChannel(_writer.addSchema(name, "jsonschema", schema), topic, "json");
        };
        _scene = json("foxglove.SceneUpdate", sceneUpdateSchema(), "/scene");
        _tf = json("foxglove.FrameTransform", frameTransformSchema(), "/tf");
        _hud = json("orvane.HudElement", itemsSchema("orvane.HudElement"), "/hud");
        _views = json("orvane.View", itemsSchema("orvane.View"), "/views");
    }

    // One record: its frame (length word first) and its time stamp.
    void record(const unsigned char* frame, std::size_t size, float time)
    {
        _items.read(frame, size);
        _frame = frame;
        _frameSize = size;
        const std::uint32_t header = GNP2::readU32(frame + 4);
        const std::uint32_t kind = GNP2::typeCode(header);
        const std::uint32_t number = GNP2::objectNumber(header);
        const std::int32_t connection = _items.i(item::Connection, 0, GNP2::NO_CONNECTION);
        if (!(time <= _latest))
            _latest = time;
        const std::uint64_t now =
            _latest > 0.f ? std::uint64_t(std::llround(double(_latest) * 1e9)) : 0;
        if (now != _now || _stamp.empty()) {
            // Most records share their time with the records before them.
            _now = now;
            _stamp.clear();
            appendTime(_stamp, _now);
        }
        if (connection != GNP2::NO_CONNECTION && _connections.insert(connection).second &&
            _connections.size() > 1)
            newRun();
        if (kind == kind::Time)
            return;

        const std::uint64_t key = std::uint64_t(std::uint32_t(connection)) << 32 | number;
        auto [found, created] = _objects.try_emplace(key);
        Object& object = found->second;
        if (created || object.kind != kind) {
            object = {};
            object.kind = kind;
            object.connection = connection;
            object.number = number;
        }
        const Placement placement = placementOf(kind);
        _look.clear();
        for (int index : _items.present())
            if (!ignored(kind, index) && index != placement.position &&
                index != placement.orientation) {
                const Items::View& v = _items[index];
                _look.append(reinterpret_cast<const char*>(v.record), v.recordSize());
            }
        const bool changed = created || _look != object.look;
        if (changed)
            object.look.swap(_look);

        if (kind == kind::Hud || kind == kind::View) {
            if (changed)
                itemsMessage(kind == kind::Hud ? _hud : _views, object);
            return;
        }
        if (placement.position >= 0) {
            const Vec3 position = _items.vec(placement.position, {});
            const Vec3 u = _items.vec(placement.orientation, {1.f, 0.f, 0.f});
            const Vec3 v = _items.vec(placement.orientation, {0.f, 1.f, 0.f}, 3);
            const std::array<float, 6> axes = {u.x, u.y, u.z, v.x, v.y, v.z};
            if (!object.posed || axes != object.axes) {
                object.axes = axes;
                object.turn = quatFromRows(u, v);
            }
            const Quat turn = object.turn;
            const std::array<float, 7> pose = {position.x, position.y, position.z, turn.x,
                                               turn.y,     turn.z,     turn.w};
            if (!object.posed || pose != object.pose) {
                object.pose = pose;
                object.posed = true;
                transform(object, position, turn);
            }
        }
        if (changed)
            entity(object, placement.position >= 0);
    }

    std::size_t objects() const { return _objects.size(); }

private:
    struct Object
    {
        std::uint32_t kind = 0;
        std::int32_t connection = 0;
        std::uint32_t number = 0;
        std::string look;  // the items that shape it, as last exported
        std::string frame; // its frame's name as JSON text, made once
        std::array<float, 7> pose{};
        std::array<float, 6> axes{}; // the orientation item that gave `turn`
        Quat turn;
        bool posed = false, shown = false;
    };

    void appendId(std::string& o, const Object& object)
    {
        o += '"';
        appendInteger(o, object.connection);
        o += ':';
        appendInteger(o, object.number);
        o += '"';
    }

    void appendFrame(std::string& o, Object& object)
    {
        if (object.frame.empty()) {
            object.frame = "\"obj/";
            appendInteger(object.frame, object.number);
            object.frame += '"';
        }
        o += object.frame;
    }

    void transform(Object& object, Vec3 position, Quat turn)
    {
        std::string& o = _writer.beginMessage(_tf, _now);
        o += "{\"timestamp\":"sv;
        o += _stamp;
        o += ",\"parent_frame_id\":\"world\",\"child_frame_id\":"sv;
        appendFrame(o, object);
        o += ",\"translation\":"sv;
        appendVec(o, position);
        o += ",\"rotation\":"sv;
        appendQuat(o, turn);
        o += '}';
        _writer.endMessage();
    }

    void entity(Object& object, bool placed)
    {
        _primitives.clear();
        const Items& it = _items;
        switch (object.kind) {
        case kind::Shape:
            shapePrimitives(_primitives, it);
            if (_primitives.empty() && _meshes)
                meshPrimitives(object.kind);
            break;
        case kind::FlowPipe:
            flowPipePrimitives(_primitives, it);
            break;
        case kind::ModelFile:
        case kind::FlexBody: {
            // Formats the viewers read go by URL; others, where the mesh
            // source reads them, as triangles.
            const int name = object.kind == kind::ModelFile ? item::model_file::FileName
                                                            : item::flex_body::FileName;
            // A flexible body is sent bent whatever its format.
            const bool url = isTerrain(it.text(name)) ||
                             (viewersRead(it.text(name)) && object.kind == kind::ModelFile);
            if (url || !_meshes || !meshPrimitives(object.kind))
                modelPrimitives(_primitives, it, name);
            break;
        }
        case kind::Text:
            textPrimitives(_primitives, it);
            break;
        case kind::Line:
            linePrimitives(_primitives, it);
            break;
        case kind::FlexSurface:
            surfacePrimitives(_primitives, it);
            break;
        case kind::Intersector:
            intersectorPrimitives(_primitives, it);
            break;
        default: // lights, weather, particle effects: what they are as metadata
            break;
        }
        const protocol::KindInfo* info = kindOf(object.kind);
        metadata(_primitives, "kind", info ? info->name : std::to_string(object.kind));
        const Placement placement = placementOf(object.kind);
        for (int index : it.present()) {
            if (ignored(object.kind, index) || index == placement.position ||
                index == placement.orientation)
                continue;
            const char* name = itemName(info, index);
            metadata(_primitives, name ? name : "item " + std::to_string(index),
                     itemText(it[index]));
        }

        std::string& o = _writer.beginMessage(_scene, _now);
        o += "{\"deletions\":[],\"entities\":[{\"timestamp\":"sv;
        o += _stamp;
        o += ",\"frame_id\":"sv;
        if (placed)
            appendFrame(o, object);
        else
            o += "\"world\""sv;
        o += ",\"id\":"sv;
        appendId(o, object);
        o += ",\"lifetime\":{\"sec\":0,\"nsec\":0},\"frame_locked\":true,\"metadata\":["sv;
        o += _primitives.metadata;
        const std::pair<const char*, const std::string*> arrays[] = {
            {"arrows", &_primitives.arrows},   {"cubes", &_primitives.cubes},
            {"spheres", &_primitives.spheres}, {"cylinders", &_primitives.cylinders},
            {"lines", &_primitives.lines},     {"triangles", &_primitives.triangles},
            {"texts", &_primitives.texts},     {"models", &_primitives.models}};
        for (const auto& [name, content] : arrays) {
            o += "],\""sv;
            o += name;
            o += "\":["sv;
            o += *content;
        }
        o += "]}]}"sv;
        _writer.endMessage();
        object.shown = true;
    }

    void itemsMessage(std::uint16_t channel, const Object& object)
    {
        const protocol::KindInfo* info = kindOf(object.kind);
        std::string& o = _writer.beginMessage(channel, _now);
        o += "{\"timestamp\":"sv;
        o += _stamp;
        o += ",\"connection\":"sv;
        appendInteger(o, object.connection);
        o += ",\"object\":"sv;
        appendInteger(o, object.number);
        o += ",\"items\":{"sv;
        bool first = true;
        for (int index : _items.present()) {
            if (ignored(object.kind, index))
                continue;
            const Items::View& v = _items[index];
            if (!first)
                o += ',';
            first = false;
            const char* name = itemName(info, index);
            appendString(o, name ? std::string(name) : "item " + std::to_string(index));
            o += ':';
            if (v.type == GNP2::TYPE_CHAR) {
                appendString(o, v.data(), std::size_t(v.count));
                continue;
            }
            o += '[';
            if (v.type == GNP2::TYPE_INT || v.type == GNP2::TYPE_FLOAT)
                for (std::int32_t k = 0; k < v.count; ++k) {
                    if (k)
                        o += ',';
                    if (v.type == GNP2::TYPE_INT)
                        appendInteger(o, _items.i(index, k, 0));
                    else
                        appendNumber(o, _items.f(index, k, 0.f));
                }
            o += ']';
        }
        o += "}}"sv;
        _writer.endMessage();
    }

    // A new connection is a new run: the viewer clears the scene for it.
    void newRun()
    {
        const bool any = std::any_of(_objects.begin(), _objects.end(),
                                     [](const auto& entry) { return entry.second.shown; });
        if (!any) {
            _objects.clear();
            return;
        }
        std::string& o = _writer.beginMessage(_scene, _now);
        o += "{\"deletions\":["sv;
        bool first = true;
        for (const auto& [key, object] : _objects) {
            if (!object.shown)
                continue;
            o += first ? "" : ",";
            first = false;
            o += "{\"timestamp\":"sv;
            o += _stamp;
            o += ",\"type\":0,\"id\":"sv;
            appendId(o, object);
            o += '}';
        }
        o += "],\"entities\":[]}"sv;
        _writer.endMessage();
        _objects.clear();
    }

    // What the viewer draws for the object, from the mesh source, as
    // triangles in the object's frame.
    bool meshPrimitives(std::uint32_t kind)
    {
        _mesh.points.clear();
        _mesh.triangles.clear();
        if (!_meshes(kind, _frame, _frameSize, _mesh) || _mesh.triangles.empty())
            return false;
        std::vector<Vec3> points(_mesh.points.size() / 3);
        for (std::size_t k = 0; k < points.size(); ++k)
            points[k] = {_mesh.points[3 * k], _mesh.points[3 * k + 1], _mesh.points[3 * k + 2]};
        triangles(_primitives, points, {}, _mesh.triangles,
                  _items.colour(item::shape::Colour, item::shape::Opacity));
        return true;
    }

    mcap::Writer& _writer;
    const MeshSource& _meshes;
    ObjectMesh _mesh;
    const unsigned char* _frame = nullptr; // the record being exported
    std::size_t _frameSize = 0;
    std::uint16_t _scene = 0, _tf = 0, _hud = 0, _views = 0;
    Items _items;
    Primitives _primitives;
    std::string _look;
    std::unordered_map<std::uint64_t, Object> _objects;
    std::set<std::int32_t> _connections;
    float _latest = -INFINITY;
    std::uint64_t _now = 0;
    std::string _stamp; // _now as a JSON time stamp
};

bool parseSeconds(const std::string& text, float& value)
{
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(value);
}

const char* const MCAP_USAGE =
    "usage: orvane-replay export-mcap FILE OUT [--from T0 --to T1] [--compression none|zstd|lz4]\n";

} // namespace

int exportMcap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const MeshSource& meshes)
{
    std::optional<float> from, to;
    std::vector<std::string> files;
    mcap::Compression compression = mcap::Compression::None;
    for (std::size_t k = 1; k < args.size(); ++k) {
        if (args[k] == "--from" || args[k] == "--to") {
            float value;
            if (k + 1 >= args.size() || !parseSeconds(args[k + 1], value)) {
                err << "orvane-replay export-mcap: " << args[k] << " needs a time in seconds\n";
                return 2;
            }
            (args[k] == "--from" ? from : to) = value;
            ++k;
        } else if (args[k] == "--compression") {
            const std::string name = k + 1 < args.size() ? args[k + 1] : "";
            if (name == "none")
                compression = mcap::Compression::None;
            else if (name == "zstd")
                compression = mcap::Compression::Zstd;
            else if (name == "lz4")
                compression = mcap::Compression::Lz4;
            else {
                err << "orvane-replay export-mcap: --compression takes none, zstd or lz4\n";
                return 2;
            }
            if (!mcap::compressionAvailable(compression)) {
                err << "orvane-replay export-mcap: this build cannot write " << name << " chunks\n";
                return 2;
            }
            ++k;
        } else {
            files.push_back(args[k]);
        }
    }
    if (files.size() != 2) {
        err << MCAP_USAGE;
        return 2;
    }
    if (from && to && *from > *to) {
        err << "orvane-replay export-mcap: --from is after --to\n";
        return 2;
    }
    if (files[0] == files[1]) {
        err << "orvane-replay export-mcap: OUT must not be the replay itself\n";
        return 2;
    }
    std::ofstream file(files[1], std::ios::binary | std::ios::trunc);
    if (!file) {
        err << "orvane-replay export-mcap: cannot write " << files[1] << '\n';
        return 1;
    }
    mcap::Writer writer(file, {"", "orvane-replay", 1u << 20, compression});
    Exporter exporter(writer, meshes);

    // Before T0 only each object's latest record is kept; they are exported
    // at T0, so that the file starts with the scene as it was then.
    float latest = -INFINITY;
    std::map<std::uint64_t, Record> atFrom;
    std::int32_t runBeforeFrom = GNP2::NO_CONNECTION;
    bool flushed = !from;
    const auto flushFrom = [&] {
        std::vector<const Record*> records;
        for (const auto& [key, record] : atFrom)
            records.push_back(&record);
        std::sort(records.begin(), records.end(),
                  [](const Record* a, const Record* b) { return a->offset < b->offset; });
        for (const Record* record : records)
            exporter.record(record->frame.data(), record->frame.size(), *from);
        atFrom.clear();
        flushed = true;
    };
    std::optional<Damage> damage;
    try {
        damage = scanReplay(files[0], [&](const Record& record) {
            latest = std::max(latest, record.time);
            if (to && latest > *to)
                return;
            if (!flushed && latest <= *from) {
                const std::uint32_t header = GNP2::readU32(record.frame.data() + 4);
                Items items;
                items.read(record.frame.data(), record.frame.size());
                const std::int32_t connection = items.i(item::Connection, 0, GNP2::NO_CONNECTION);
                if (connection != GNP2::NO_CONNECTION && connection != runBeforeFrom) {
                    atFrom.clear(); // a new run cleared the scene
                    runBeforeFrom = connection;
                }
                atFrom[std::uint64_t(std::uint32_t(connection)) << 32 |
                       GNP2::objectNumber(header)] = record;
                return;
            }
            if (!flushed)
                flushFrom();
            exporter.record(record.frame.data(), record.frame.size(), record.time);
        });
    } catch (const std::runtime_error& error) {
        file.close();
        std::filesystem::remove(files[1]);
        err << "orvane-replay export-mcap: " << error.what() << '\n';
        return 1;
    }
    if (!flushed)
        flushFrom();
    writer.finish();
    file.close();
    if (!file) {
        err << "orvane-replay export-mcap: cannot write " << files[1] << '\n';
        return 1;
    }
    out << files[1] << ": " << exporter.objects() << " objects, " << writer.messageCount()
        << " messages\n";
    if (damage) {
        err << files[0] << ": bad record at offset " << damage->offset << ": " << damage->reason
            << "; the export stops there and holds what precedes it\n";
        return 1;
    }
    return 0;
}

} // namespace orvane::replaytool
