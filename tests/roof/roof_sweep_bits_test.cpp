// The sweep's output bit for bit, against checksums recorded from the sweep
// that rebuilt and searched every level whole (one ring per level kept to
// the end, a refinement round over the whole grown ring). Families with
// fixed seeds: skylines (collinear steps, reflex corners, many events at
// one height), stars of alternating radii, combs, random star-shaped
// outlines with mixed pitches and gables, some with overhang and thickness.
// Each case hashes the facets in surface order: record, corner count and
// every coordinate's bits.
#include "roof_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

using namespace roof;

namespace {

struct Case {
    std::vector<Pt> p;
    std::vector<double> a;
    double thickness = 0.0, overhang = 0.0;
};

double MixedPitch(std::mt19937& rng, bool gables)
{
    static const double kDeg[] = {20.0, 30.0, 30.0, 45.0, 60.0, 90.0};
    return Deg(kDeg[rng() % (gables ? 6u : 5u)]);
}

Case MakeCase(unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Case c;
    const unsigned family = seed % 5;
    if (family == 0) {
        // Skyline: bars on a common base; equal neighbouring heights give
        // collinear edges, mixed pitches steps between them.
        const int bars = 2 + static_cast<int>(rng() % 12);
        c.p = {{0, 0}, {2.0 * bars, 0}};
        for (int i = bars - 1; i >= 0; --i) {
            const double h = 2.0 + 2.0 * static_cast<double>(rng() % 4);
            c.p.push_back({2.0 * (i + 1), h});
            c.p.push_back({2.0 * i, h});
        }
    } else if (family == 1 || family == 2) {
        // A star of alternating radii (family 1) or a random star-shaped
        // outline (family 2): reflex corners all round.
        const int n = 6 + 2 * static_cast<int>(rng() % (family == 1 ? 40 : 15));
        for (int i = 0; i < n; ++i) {
            const double t = 2.0 * kPi * (i + 0.3 * unit(rng)) / n;
            const double r = family == 1 ? (i % 2 ? 0.6 : 1.0) * n / (2.0 * kPi) * (1.0 + 0.05 * unit(rng))
                                         : 4.0 + 8.0 * unit(rng);
            c.p.push_back({r * std::cos(t), r * std::sin(t)});
        }
    } else if (family == 3) {
        // A comb: teeth of random width, gap and length on a back.
        const int teeth = 1 + static_cast<int>(rng() % 25);
        std::vector<double> x = {0.0};
        for (int i = 0; i < 2 * teeth; ++i)
            x.push_back(x.back() + 1.0 + 0.5 * unit(rng));
        c.p = {{0.0, 0.0}, {x[2 * teeth - 1], 0.0}};
        for (int i = teeth - 1; i >= 0; --i) {
            const double tip = 4.0 + 6.0 * unit(rng);
            c.p.insert(c.p.end(), {{x[2 * i + 1], tip}, {x[2 * i], tip}});
            if (i > 0)
                c.p.insert(c.p.end(), {{x[2 * i], 2.0}, {x[2 * i - 1], 2.0}});
        }
    } else {
        // A rectilinear L/U mix with points in the middle of edges: straight
        // corners with the same pitch (removed) or another (kept as steps).
        const double w = 6.0 + static_cast<double>(rng() % 6), h = 4.0 + static_cast<double>(rng() % 6);
        const double cx = 1.0 + static_cast<double>(rng() % 2), cy = 1.0 + static_cast<double>(rng() % 2);
        c.p = {{0, 0}, {w / 2, 0}, {w, 0}, {w, h}, {w - cx, h}, {w - cx, h - cy}, {cx, h - cy}, {cx, h}, {0, h}, {0, h / 2}};
    }
    const bool mixed = (seed / 5) % 2 == 1;
    const bool gables = (seed / 5) % 4 == 3;
    const double one = Deg(20.0 + 10.0 * static_cast<double>(seed % 4));
    for (std::size_t i = 0; i < c.p.size(); ++i)
        c.a.push_back(mixed ? MixedPitch(rng, gables) : one);
    if (family == 2 || family == 4) {
        if (seed % 3 == 0)
            c.overhang = 0.25 + 0.25 * static_cast<double>(rng() % 3);
        if (seed % 4 == 1)
            c.thickness = 0.3;
    }
    if (seed % 7 == 0) {
        std::reverse(c.p.begin(), c.p.end());
        std::reverse(c.a.begin(), c.a.end());
    }
    return c;
}

std::uint64_t Mix(std::uint64_t h, const void* data, std::size_t n)
{
    const unsigned char* b = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i)
        h = (h ^ b[i]) * 1099511628211ULL;
    return h;
}

// The facets of one roof in surface order, bit for bit; 0 when Regen refused.
std::uint64_t RoofBits(const Case& c)
{
    G3Surface s;
    if (!Build(&s, c.p, c.a, c.thickness, c.overhang))
        return 0;
    EXPECT_EQ("", MeshCheck(&s));
    std::uint64_t h = 1469598103934665603ULL;
    for (int i = 0; i < s.GetFacetCount(); ++i) {
        G3Facet* f = s.GetFacet(i);
        const long rec[2] = {G3RoofGenerator::GetFacetIndex(f), static_cast<long>(G3RoofGenerator::GetFacetType(f))};
        h = Mix(h, rec, sizeof rec);
        const std::vector<G3Vertex*> corners = Corners(f);
        const std::size_t n = corners.size();
        h = Mix(h, &n, sizeof n);
        for (G3Vertex* v : corners)
            h = Mix(h, v->GetXYZ(), 3 * sizeof(double));
    }
    return h;
}

// The outlines of the roof benchmark (same generator and seeds): random
// star-shaped with pitches of 15 to 60 degrees (kind 2), combs (3) and
// stars of alternating radii (4), the last two with one pitch of 30.
Case BenchOutline(int kind, int edges)
{
    Case c;
    std::mt19937 rng(1234u + static_cast<unsigned>(edges));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    if (kind == 3) {
        const int teeth = std::max(1, edges / 4);
        std::vector<double> x = {0.0};
        for (int i = 0; i < teeth; ++i) {
            x.push_back(x.back() + 1.0 + 0.5 * unit(rng));
            x.push_back(x.back() + 1.0 + 0.5 * unit(rng));
        }
        c.p = {{0, 0}, {x[2 * teeth - 1], 0}};
        for (int i = teeth - 1; i >= 0; --i) {
            const double tip = 6.0 + 6.0 * unit(rng);
            c.p.insert(c.p.end(), {{x[2 * i + 1], tip}, {x[2 * i], tip}});
            if (i > 0)
                c.p.insert(c.p.end(), {{x[2 * i], 2}, {x[2 * i - 1], 2}});
        }
        c.a.assign(c.p.size(), Deg(30.0));
    } else if (kind == 4) {
        const double r = edges / (2.0 * kPi);
        for (int i = 0; i < edges; ++i) {
            const double t = 2.0 * kPi * (i + 0.2 * unit(rng)) / edges;
            const double ri = (i % 2 ? 0.6 * r : r) * (1.0 + 0.05 * unit(rng));
            c.p.push_back({ri * std::cos(t), ri * std::sin(t)});
        }
        c.a.assign(c.p.size(), Deg(30.0));
    } else {
        for (int i = 0; i < edges; ++i) {
            const double t = 2.0 * kPi * (i + 0.4 * unit(rng)) / edges;
            const double r = 10.0 + 10.0 * unit(rng);
            c.p.push_back({r * std::cos(t), r * std::sin(t)});
            c.a.push_back(Deg(15.0 + 45.0 * unit(rng)));
        }
    }
    return c;
}

// Recorded from the whole-level sweep, seeds 1 to 100.
const std::uint64_t kRecorded[100] = {
    0xe83f1a5fe7a4900dULL, 0x36f67c318cb3d03aULL, 0xfce9c96c3dc0cde6ULL, 0x42c5ae4b8620dce2ULL,
    0xef76bbabcfdd8561ULL, 0x732aff32f84f24eaULL, 0x001cde3ad3eed20dULL, 0x74c256b34f64d05aULL,
    0x21db1c120eca586eULL, 0x2380853e223f60efULL, 0xdb81dff4f5d260fdULL, 0xade96e7dfaaf3e5fULL,
    0x58a04dc2d401013cULL, 0x9fcd20faf3a345a7ULL, 0x6e67457db7f149caULL, 0x550076efb0dbb195ULL,
    0x2a9ad25d67c4c964ULL, 0x32bbe9a94a65a2c6ULL, 0x553cee00cf101389ULL, 0x0817aede4fe676baULL,
    0x4e387d5495ca596eULL, 0x06c69860f91e82ffULL, 0x3b5c9e2b75f71cf1ULL, 0x041e191fe8c83bc3ULL,
    0x14fa54427a6deb9fULL, 0x8117220b2d48666eULL, 0x9a6adb427fbd6880ULL, 0xc4d5e25c9d73e1ccULL,
    0xec065affdb6af8a0ULL, 0x3177461819841bf7ULL, 0x2fc0607791462b89ULL, 0xa0be3ea89832b2e8ULL,
    0x69db9655d72c0c26ULL, 0x4698f1d3db300541ULL, 0xcf5c0217e4e41698ULL, 0xae0473e1104ca203ULL,
    0xc9bb9e4501166c91ULL, 0xd16da4d5e709bc1eULL, 0xabda0acc6cd9d1cbULL, 0x4f38642b7f3113c4ULL,
    0xcd8d0673ba30f7f2ULL, 0x4b2ed1c335840ceeULL, 0x16b45b944a479122ULL, 0xa4efc3173e01260fULL,
    0xc7128fe68320c806ULL, 0x9a3dcb57c3bfd9d3ULL, 0xec5e6f13fe4bb19aULL, 0x0f207d1c3b46e313ULL,
    0x24ac456bd7f1b2e9ULL, 0x608d5431732336aeULL, 0x1d2d684cbb57c319ULL, 0x25584e3e9606bedeULL,
    0xff378de9a30f997eULL, 0x57cc1f123c36469aULL, 0xa456286fa4dc6375ULL, 0x09cc4d34c81c7d6fULL,
    0x0000000000000000ULL, 0x06479c7e91031b58ULL, 0x9d23fdd8412e217cULL, 0x0330dfbe86dc5cacULL,
    0x6feb7ef43b4049abULL, 0x0626fb67d9636e1dULL, 0xfe8d31d7c0c0d62aULL, 0x3705b6d3ae4dcf6fULL,
    0x50fef3e763de9e3bULL, 0x4231a546388116edULL, 0xe91d2bd6f2ab37e2ULL, 0x7cab99d1358ee0b2ULL,
    0x966f879ccbcf1a94ULL, 0x754c5f5b31ef0314ULL, 0xf097aa82d1ce83eeULL, 0x1175cb3930ae14b4ULL,
    0xf77bb8e223f088b0ULL, 0x0922150e7fa1c3c5ULL, 0x7a6239c9cf1d28fcULL, 0x40cba9f39e13356dULL,
    0xf32bc4573ce43a59ULL, 0x3d77bc997399cc39ULL, 0x0f7c6381c8430e84ULL, 0xfc15696c7551350eULL,
    0xb7bb4a8ca2639a45ULL, 0x96dca7abe765ebbbULL, 0x0bd6e88ce1ac6305ULL, 0xa142c7f66f260b1aULL,
    0x13247d3a9e62e9e8ULL, 0xac035d80e03e7c2fULL, 0xcbf529a04620fb3fULL, 0x4d002c4c17f3784fULL,
    0x67b8cde10832d3fcULL, 0x7d179c39088de1e3ULL, 0xe901fc1d49453118ULL, 0xba469ccc2cab8534ULL,
    0x9e515bfe265c26e8ULL, 0x6d5cd6ac92e656c5ULL, 0xd3a2d41adfb71eb1ULL, 0xc33964595f0803edULL,
    0x5fbeb1e7fb5afc81ULL, 0x12ba1c67abda67c4ULL, 0x680f44cd5ba983cbULL, 0x5d1c66afb4c3b11fULL,
};

} // namespace

TEST(RoofSweepBits, RandomFamiliesKeepTheirRecordedFacets)
{
    std::string table;
    int differ = 0;
    for (unsigned seed = 1; seed <= 100; ++seed) {
        const std::uint64_t got = RoofBits(MakeCase(seed));
        char line[40];
        std::snprintf(line, sizeof line, "0x%016llxULL,%s", static_cast<unsigned long long>(got),
                      seed % 4 == 0 ? "\n" : " ");
        table += line;
        if (got != kRecorded[seed - 1]) {
            ++differ;
            ADD_FAILURE() << "seed " << seed;
        }
    }
    EXPECT_EQ(0, differ) << table;
}

TEST(RoofSweepBits, BenchmarkOutlinesKeepTheirRecordedFacets)
{
    const struct {
        int kind, edges;
        std::uint64_t bits;
    } kCases[] = {
        {2, 200, 0xc4e20a75df60a90bULL},
        {3, 300, 0x2b8141d96dfece10ULL},
        {4, 300, 0xa420d0560e1a56a8ULL},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(c.bits, RoofBits(BenchOutline(c.kind, c.edges))) << c.kind << " " << c.edges;
}

namespace {

// Larger members of the families above (hundreds of bars, teeth or
// corners, mixed pitches and gables), where many events share a level far
// apart on the ring.
Case LargeCase(unsigned seed)
{
    std::mt19937 rng(7000u + seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Case c;
    const unsigned family = seed % 3;
    if (family == 0) {
        const int bars = 150 + static_cast<int>(rng() % 100);
        c.p = {{0, 0}, {2.0 * bars, 0}};
        for (int i = bars - 1; i >= 0; --i) {
            const double h = 2.0 + 2.0 * static_cast<double>(rng() % 4);
            c.p.push_back({2.0 * (i + 1), h});
            c.p.push_back({2.0 * i, h});
        }
    } else if (family == 1) {
        const int teeth = 100 + static_cast<int>(rng() % 100);
        std::vector<double> x = {0.0};
        for (int i = 0; i < 2 * teeth; ++i)
            x.push_back(x.back() + 1.0 + 0.5 * unit(rng));
        c.p = {{0.0, 0.0}, {x[2 * teeth - 1], 0.0}};
        for (int i = teeth - 1; i >= 0; --i) {
            const double tip = 4.0 + 2.0 * static_cast<double>(rng() % 4);
            c.p.insert(c.p.end(), {{x[2 * i + 1], tip}, {x[2 * i], tip}});
            if (i > 0)
                c.p.insert(c.p.end(), {{x[2 * i], 2.0}, {x[2 * i - 1], 2.0}});
        }
    } else {
        const int n = 300 + 2 * static_cast<int>(rng() % 200);
        for (int i = 0; i < n; ++i) {
            const double t = 2.0 * kPi * (i + 0.3 * unit(rng)) / n;
            const double r = (i % 2 ? 0.6 : 1.0) * n / (2.0 * kPi) * (1.0 + 0.05 * unit(rng));
            c.p.push_back({r * std::cos(t), r * std::sin(t)});
        }
    }
    const bool mixed = seed % 2 == 1;
    for (std::size_t i = 0; i < c.p.size(); ++i)
        c.a.push_back(mixed ? MixedPitch(rng, seed % 4 == 3) : Deg(30.0));
    if (seed % 5 == 4)
        c.overhang = 0.5;
    return c;
}

// Each seed's outline against its recorded checksum; on a failure the
// whole table as it came out, to record it again after an intended change.
template <std::size_t N, class Make>
void ExpectRecordedBits(const std::uint64_t (&recorded)[N], Make make)
{
    std::string table;
    for (unsigned seed = 0; seed < N; ++seed) {
        const std::uint64_t got = RoofBits(make(seed));
        char line[40];
        std::snprintf(line, sizeof line, "0x%016llxULL,%s", static_cast<unsigned long long>(got),
                      seed % 4 == 3 ? "\n" : " ");
        table += line;
        EXPECT_EQ(recorded[seed], got) << "seed " << seed;
    }
    if (::testing::Test::HasFailure())
        std::printf("%s", table.c_str());
}

} // namespace

TEST(RoofSweepBits, LargeOutlinesKeepTheirRecordedFacets)
{
    // Recorded from the sweep that grew and searched every level whole.
    const std::uint64_t kLarge[12] = {
        0x557afa16b3afa347ULL, 0x1f3d85ad34e119e0ULL, 0x00fbc0deb7a4569bULL, 0xa014895b11e17eaeULL,
        0xc637f5371ebed057ULL, 0xf2fba868b83d127bULL, 0x9a3dde0bfb4f9ecbULL, 0xd45ccc65312cf7f2ULL,
        0x6e3f8b1a34505736ULL, 0x0000000000000000ULL, 0xea9c57e26c13fceeULL, 0x1bbe380a4f9043dcULL,
    };
    ExpectRecordedBits(kLarge, LargeCase);
    const struct {
        int kind, edges;
        std::uint64_t bits;
    } kCases[] = {
        {2, 1000, 0x42b1bf4262b1e814ULL},
        {3, 1000, 0xe583e777eadf590eULL},
        {4, 1000, 0xd85c0c460942b75eULL},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(c.bits, RoofBits(BenchOutline(c.kind, c.edges))) << c.kind << " " << c.edges;
}

// Outlines whose events come in ties: combs of equal teeth (one side or
// both), regular stars and stepped crosses on whole units, so that a level
// touches itself in many places at once and a split's parts split again.
Case TiedCase(unsigned seed)
{
    std::mt19937 rng(9000u + seed);
    Case c;
    const int count = 3 + static_cast<int>(rng() % 40);
    const double w = 1.0 + static_cast<double>(rng() % 3), tip = 3.0 + static_cast<double>(rng() % 6);
    const unsigned family = seed % 3;
    if (family == 0) {
        // Teeth of width and gap w above a back from y = 0 to 2, with odd
        // seeds below it too.
        if (seed % 2 == 1)
            for (int i = 0; i < count; ++i)
                c.p.insert(c.p.end(), {{2 * i * w, 0.0}, {2 * i * w, -tip}, {(2 * i + 1) * w, -tip}, {(2 * i + 1) * w, 0.0}});
        else
            c.p = {{0.0, 0.0}, {(2 * count - 1) * w, 0.0}};
        for (int i = count - 1; i >= 0; --i) {
            c.p.insert(c.p.end(), {{(2 * i + 1) * w, 2.0 + tip}, {2 * i * w, 2.0 + tip}});
            if (i > 0)
                c.p.insert(c.p.end(), {{2 * i * w, 2.0}, {(2 * i - 1) * w, 2.0}});
        }
    } else if (family == 1) {
        const int n = 2 * (3 + count);
        for (int i = 0; i < n; ++i) {
            const double t = 2.0 * kPi * i / n, r = (i % 2 ? 0.6 : 1.0) * tip * n;
            c.p.push_back({r * std::cos(t), r * std::sin(t)});
        }
    } else {
        // A diamond of equal steps, each quadrant the last one turned.
        const int steps = 1 + count % 12;
        const double r = steps * w;
        for (int q = 0; q < 4; ++q)
            for (int i = 0; i < steps; ++i)
                for (double y : {i * w, (i + 1) * w}) {
                    Pt p{r - i * w, y};
                    for (int t = 0; t < q; ++t)
                        p = Pt{-p.y, p.x};
                    c.p.push_back(p);
                }
    }
    const double one = Deg(seed % 4 == 3 ? 45.0 : 30.0);
    for (std::size_t i = 0; i < c.p.size(); ++i)
        c.a.push_back(seed % 8 == 5 ? Deg(i % 2 ? 30.0 : 45.0) : one);
    return c;
}

TEST(RoofSweepBits, TiedOutlinesKeepTheirRecordedFacets)
{
    // Recorded from the sweep that searched every part of a split afresh.
    const std::uint64_t kTied[24] = {
        0x1683437eea5181e4ULL, 0x0e205930f0ac7d30ULL, 0x5788e2b366d2fb77ULL, 0x29bf6ab794d2f5b7ULL,
        0xd70d239690458b50ULL, 0x4980a57a9fc2264bULL, 0xc2fe88916313d90bULL, 0xf822399acc11d7ebULL,
        0xb301e833899657ebULL, 0x1be1ee244289ad84ULL, 0xb4a2d52039ff068cULL, 0xa49e603d53181237ULL,
        0x7bf4737548de4671ULL, 0xbd25c16fc3697c11ULL, 0xd4aba12e0bd28547ULL, 0x160e382a99bca72aULL,
        0xde395576dfa1de10ULL, 0x2d3c7f6cd7edae1fULL, 0x2fa3bec7a24e465bULL, 0x1aa08b6ac3322bbbULL,
        0xb24ed16a8b0421e3ULL, 0x471ac40ce3a09163ULL, 0xafff97ac1f4696afULL, 0x078587cefaa1f30bULL,
    };
    ExpectRecordedBits(kTied, TiedCase);
}

// Long combs either way round and skylines with corners in the middle of
// edges, one pitch or mixed: the collinear edges of a comb's back or a
// skyline's top share a plane, so that a level's edge can run between two
// corners the level before did not join.
Case BandCase(unsigned seed)
{
    std::mt19937 rng(11000u + seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Case c;
    const int count = 40 + static_cast<int>(rng() % 50);
    std::vector<double> x = {0.0};
    for (int i = 0; i < 2 * count; ++i)
        x.push_back(x.back() + (seed % 2 == 0 ? 1.0 : 1.0 + 0.5 * unit(rng)));
    if (seed % 2 == 0) {
        // A skyline: bars of whole heights, equal neighbours in line.
        c.p = {{0.0, 0.0}, {x[count], 0.0}};
        for (int i = count - 1; i >= 0; --i) {
            const double h = 2.0 + 2.0 * static_cast<double>(rng() % 4);
            c.p.insert(c.p.end(), {{x[i + 1], h}, {x[i], h}});
        }
    } else {
        c.p = {{0.0, 0.0}, {x[2 * count - 1], 0.0}};
        for (int i = count - 1; i >= 0; --i) {
            const double tip = 4.0 + 6.0 * unit(rng);
            c.p.insert(c.p.end(), {{x[2 * i + 1], tip}, {x[2 * i], tip}});
            if (i > 0)
                c.p.insert(c.p.end(), {{x[2 * i], 2.0}, {x[2 * i - 1], 2.0}});
        }
    }
    for (std::size_t i = 0; i + 1 < c.p.size() && seed % 3 == 2; i += 3)
        c.p.insert(c.p.begin() + static_cast<long>(i) + 1, {(c.p[i].x + c.p[i + 1].x) / 2, (c.p[i].y + c.p[i + 1].y) / 2});
    for (std::size_t i = 0; i < c.p.size(); ++i)
        c.a.push_back(seed % 3 == 1 ? MixedPitch(rng, false) : Deg(30.0));
    if (seed / 2 % 2 == 1)
        std::reverse(c.p.begin(), c.p.end());
    return c;
}

TEST(RoofSweepBits, BandOutlinesKeepTheirRecordedFacets)
{
    // Recorded from the sweep that searched every level over a grid of its
    // own; seed 9 again when meetings in a level's band split the level (a
    // corner that lay 2e-6 off the two facets beside it now meets them
    // within 1e-6).
    const std::uint64_t kBand[24] = {
        0x5322b6c2cde75ea0ULL, 0xfc8526589e8a32eeULL, 0x521175d01263a3f8ULL, 0x556150dbca69cdaaULL,
        0x97f833e791502eceULL, 0xceda4b65eb0613e9ULL, 0x49973c9fb287fa3cULL, 0x82b986c40796a02cULL,
        0xe63dc41fe0259cdfULL, 0xe3112f915f6454baULL, 0x6b0451b81dc47647ULL, 0x6bba5ee45bb3c98aULL,
        0x5d0e6c0efdfc994eULL, 0xaa70ea64a1416f89ULL, 0xaecbabca65877ec6ULL, 0x740df298a2780d0aULL,
        0x8df21d6686e5ddebULL, 0x05c59940c0544c8aULL, 0xaa8f15fa3a2f19ecULL, 0x44906b65ce251e73ULL,
        0x7a332dfccad9b9c9ULL, 0xd1cec44867026ea2ULL, 0xa04f1a8ce9618d32ULL, 0x485aac1eded48db7ULL,
    };
    ExpectRecordedBits(kBand, BandCase);
    // Two of the few outlines of the family whose levels join band
    // vertices that were not neighbours in the band (an edge there must not
    // take the band's edge between them).
    const struct {
        unsigned seed;
        std::uint64_t bits;
    } kJoined[] = {{63, 0x33d02efcfe65533cULL}, {65, 0xa78344a78304089aULL}};
    for (const auto& c : kJoined)
        EXPECT_EQ(c.bits, RoofBits(BandCase(c.seed))) << "seed " << c.seed;
}

// The benchmark's largest outlines; seconds to minutes with a sweep that
// scans whole levels, so run on demand (--gtest_also_run_disabled_tests).
// The 10,000-edge comb was recorded again when sections no facet ring held
// started rings of their own: three more facets, 0.78 more of its plan
// covered (the roof had holes); and when meetings in a level's band split
// the level: the last 0.0012 of its plan covered, three facets fewer.
TEST(RoofSweepBits, DISABLED_LongestBenchmarkOutlinesKeepTheirRecordedFacets)
{
    const struct {
        int kind, edges;
        std::uint64_t bits;
    } kCases[] = {
        {3, 3000, 0xf285ecc2e7797828ULL},
        {4, 3000, 0x8a8783d1570ec258ULL},
        {3, 10000, 0x044afe5b7259acbaULL},
        {4, 10000, 0x70552b8c7db5265cULL},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(c.bits, RoofBits(BenchOutline(c.kind, c.edges))) << c.kind << " " << c.edges;
}
