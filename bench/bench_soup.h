#pragma once
// Triangle soups as the repair benchmarks read them: every triangle of a
// closed sphere of radius 1 or of a terrain-like sheet written with
// three vertices of its own into an OFF text, the triangles in shuffled order
// and about half of them wound the other way. Fixed seeds, so the text is
// the same on every run.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace soup {

// A mesh with shared vertices: coordinates (xyz) and triangles (corner
// indexes into them).
struct Mesh {
    std::vector<double> xyz;
    std::vector<int> tris;
    void Vertex(double x, double y, double z)
    {
        xyz.push_back(x);
        xyz.push_back(y);
        xyz.push_back(z);
    }
    void Triangle(int a, int b, int c)
    {
        tris.push_back(a);
        tris.push_back(b);
        tris.push_back(c);
    }
};

// A closed sphere of radius 1 from a cube whose faces are divided into n
// by n squares, two triangles each, pushed out onto the sphere: 12 n^2
// triangles (n = 289 gives 1,002,252), spread about evenly. A point on a
// cube edge comes out bit for bit the same from either face, so the soup
// closes.
inline Mesh Sphere(int n)
{
    Mesh m;
    // Cube points by their integer coordinates (-n..n in steps of 2).
    auto add = [&](int x, int y, int z) {
        const double l = std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y + static_cast<double>(z) * z);
        m.Vertex(x / l, y / l, z / l);
        return static_cast<int>(m.xyz.size() / 3) - 1;
    };
    for (int axis = 0; axis < 3; ++axis)
        for (int sign = -1; sign <= 1; sign += 2) {
            std::vector<int> at(static_cast<std::size_t>((n + 1) * (n + 1)));
            for (int j = 0; j <= n; ++j)
                for (int i = 0; i <= n; ++i) {
                    int c[3];
                    c[axis] = sign * n;
                    c[(axis + 1) % 3] = 2 * i - n;
                    c[(axis + 2) % 3] = 2 * j - n;
                    at[static_cast<std::size_t>(j * (n + 1) + i)] = add(c[0], c[1], c[2]);
                }
            auto v = [&](int i, int j) { return at[static_cast<std::size_t>(j * (n + 1) + i)]; };
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) {
                    // Outward on the positive faces, the other way round on
                    // the negative ones.
                    if (sign > 0) {
                        m.Triangle(v(i, j), v(i + 1, j), v(i + 1, j + 1));
                        m.Triangle(v(i, j), v(i + 1, j + 1), v(i, j + 1));
                    } else {
                        m.Triangle(v(i, j), v(i + 1, j + 1), v(i + 1, j));
                        m.Triangle(v(i, j), v(i, j + 1), v(i + 1, j + 1));
                    }
                }
        }
    return m;
}

// A closed UV sphere of radius 1: `rings` rings of 2 * rings segments,
// 4 rings (rings - 1) triangles (rings = 500 gives 998,000). Every point
// is computed from its own ring and segment, as a writer that keeps no
// shared vertices does: the seam's points (segment 2 rings against 0) and
// the poles' (one per segment) come out equal only to within about 1e-16,
// and the north pole partly as -0.
inline Mesh UvSphere(int rings)
{
    Mesh m;
    const int segments = 2 * rings;
    const double pi = 3.14159265358979323846;
    for (int r = 0; r <= rings; ++r)
        for (int k = 0; k <= segments; ++k) {
            const double th = pi * r / rings, ph = 2.0 * pi * k / segments;
            m.Vertex(std::sin(th) * std::cos(ph), std::sin(th) * std::sin(ph), std::cos(th));
        }
    auto v = [&](int r, int k) { return r * (segments + 1) + k; };
    for (int k = 0; k < segments; ++k)
        m.Triangle(v(1, k), v(1, k + 1), v(0, k));
    for (int r = 1; r + 1 < rings; ++r)
        for (int k = 0; k < segments; ++k) {
            m.Triangle(v(r, k), v(r + 1, k), v(r, k + 1));
            m.Triangle(v(r + 1, k), v(r + 1, k + 1), v(r, k + 1));
        }
    for (int k = 0; k < segments; ++k)
        m.Triangle(v(rings - 1, k), v(rings, k), v(rings - 1, k + 1));
    return m;
}

// An open terrain-like sheet of nx by ny squares, two triangles each,
// over a rolling height field.
inline Mesh Sheet(int nx, int ny)
{
    Mesh m;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) {
            const double x = 0.1 * i, y = 0.1 * j;
            m.Vertex(x, y, 2.0 * std::sin(0.05 * x) * std::cos(0.07 * y) + 0.3 * std::sin(0.9 * x + 0.4 * y));
        }
    auto at = [&](int i, int j) { return j * (nx + 1) + i; };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            m.Triangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
            m.Triangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
    return m;
}

// The OFF text of m's soup: triangles shuffled with `seed`, each with
// three vertex lines of its own, about half of them wound the other way;
// with `shuffle` false, the triangles in m's order and winding.
inline std::string SoupOff(const Mesh& m, std::uint32_t seed, bool shuffle = true)
{
    const std::vector<double>& xyz = m.xyz;
    const std::vector<int>& tris = m.tris;
    const std::size_t n = tris.size() / 3;
    std::mt19937 rng(seed);
    // Fisher-Yates by hand: the standard shuffle's draws differ between
    // libraries, and the text must not.
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = static_cast<std::uint32_t>(i);
    for (std::size_t i = n; shuffle && i > 1; --i) {
        const std::size_t j = rng() % i;
        std::swap(order[i - 1], order[j]);
    }
    std::string out;
    out.reserve(n * 3 * 64 + n * 24);
    char buf[64];
    auto number = [&](double v) {
        const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
        out.append(buf, r.ptr);
    };
    auto integer = [&](std::size_t v) {
        const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
        out.append(buf, r.ptr);
    };
    out += "OFF\n";
    integer(3 * n);
    out += ' ';
    integer(n);
    out += " 0\n";
    std::vector<char> flipped(n);
    for (std::size_t i = 0; i < n; ++i) {
        flipped[i] = shuffle && (rng() & 1);
        const std::uint32_t t = order[i];
        for (int c = 0; c < 3; ++c) {
            const int corner = flipped[i] ? 2 - c : c;
            const double* p = &xyz[3 * static_cast<std::size_t>(tris[3 * t + static_cast<std::size_t>(corner)])];
            number(p[0]);
            out += ' ';
            number(p[1]);
            out += ' ';
            number(p[2]);
            out += '\n';
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        out += "3 ";
        integer(3 * i);
        out += ' ';
        integer(3 * i + 1);
        out += ' ';
        integer(3 * i + 2);
        out += '\n';
    }
    return out;
}

} // namespace soup
