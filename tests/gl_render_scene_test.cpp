// The scene drawn for real into a window and read back pixel by pixel:
// atoms, highlight, bonds, cell box and labels.

#include "render_gl_support.h"

using namespace render_test;

namespace {

constexpr unsigned kH = 0, kC = 5, kN = 6, kO = 7, kSi = 13;

// Lit colour at the centre of a sphere seen from the front with no rotation:
// normal (0, 0, 1), camera at (0, 0, 3), light at (4, 4, 4). The normals are
// interpolated over level-2 facets: a few levels of slack in value, little in hue.
bool IsLitAs(const Rgb& p, const glm::vec3& c)
{
    const glm::vec3 light(4.0f), pos(0, 0, 1), n(0, 0, 1), eye(0, 0, 2),
        l = glm::normalize(light + glm::vec3(0, 0, -3) + eye);
    const float d2 = glm::dot(light - pos, light - pos), diffuse = 30.0f * glm::clamp(glm::dot(n, l), 0.0f, 1.0f) / d2;
    const float specular =
        9.0f * std::pow(glm::clamp(glm::dot(glm::normalize(eye), glm::reflect(-l, n)), 0.0f, 1.0f), 5.0f) / d2;
    const glm::vec3 lit = 0.2f * c + c * diffuse + glm::vec3(specular), got(p.r, p.g, p.b);
    return IsNear(p, lit, 5) && glm::length(got / glm::length(got) - lit / glm::length(lit)) < 0.05f;
}

// The four pixels around a pixel corner: the shading gradient cancels out, and
// what is left is the colour at the corner itself.
Rgb CornerAverage(int x, int y)
{
    const std::vector<unsigned char> p = Screen(x - 1, y - 1, 2, 2);
    return {(p[0] + p[3] + p[6] + p[9] + 2) / 4, (p[1] + p[4] + p[7] + p[10] + 2) / 4,
            (p[2] + p[5] + p[8] + p[11] + 2) / 4};
}

bool IsGrey(const Rgb& p)
{
    return std::abs(p.r - p.g) <= 3 && std::abs(p.g - p.b) <= 3 && p.r > 60;
}
bool IsRed(const Rgb& p)
{
    return p.r > 40 && p.r > p.g + 30 && p.r > p.b + 30;
}

// Count and column range of the yellow (label) pixels of the frame.
struct Extent {
    int count = 0, xmin = 1 << 20, xmax = -1;
};
Extent Yellow(const std::vector<unsigned char>& rgb)
{
    Extent e;
    for (size_t k = 0; k < rgb.size(); k += 3)
        if (rgb[k] > 170 && rgb[k + 1] > 170 && rgb[k + 2] < 120) {
            const int x = static_cast<int>(k / 3 % kWidth);
            ++e.count, e.xmin = std::min(e.xmin, x), e.xmax = std::max(e.xmax, x);
        }
    return e;
}

}  // namespace

class Scene : public GlTest {};

TEST_F(Scene, AtomsOfTwoElementsAtTheirProjectedPixelsInElementColours)
{
    // box 8 in a 400 x 300 window: 16 units across, 25 pixels per unit
    SetAtoms({{kO, {-2, 0, 0}}, {kN, {2, 0, 0}}}, 8.0f);
    Frame();
    // (-2, 0) lands at column (−2 + 8) × 25 = 150, row 150
    EXPECT_TRUE(IsLitAs(CornerAverage(150, 150), glm::vec3(atom_rgbs[kO]))) << CornerAverage(150, 150);
    EXPECT_TRUE(IsLitAs(CornerAverage(250, 150), glm::vec3(atom_rgbs[kN]))) << CornerAverage(250, 150);
    // radius 0.74 is 18.5 pixels: inside at 15, outside at 25
    EXPECT_TRUE(!IsBackground(Pixel(150 + 15, 150)) && IsBackground(Pixel(150 + 25, 150)) &&
                IsBackground(Pixel(200, 150)));
    // zooming out halves the distances on screen
    display_->SetZoom(2.0f);
    Frame();
    EXPECT_TRUE(IsLitAs(CornerAverage(175, 150), glm::vec3(atom_rgbs[kO])));
    EXPECT_TRUE(IsBackground(Pixel(150, 150)));
    // atom types without an element in colours of their own, to the last one
    display_->SetZoom(1.0f);
    SetAtoms({{DummySpecies(1), {-2, 0, 0}}, {DummySpecies(dummy_species_count), {2, 0, 0}}}, 8.0f);
    Frame();
    EXPECT_TRUE(IsLitAs(CornerAverage(150, 150), glm::vec3(atom_rgbs[DummySpecies(1)]))) << CornerAverage(150, 150);
    EXPECT_TRUE(IsLitAs(CornerAverage(250, 150), glm::vec3(atom_rgbs[species_count - 1]))) << CornerAverage(250, 150);
}

TEST_F(Scene, OverlappingSpheresMeetAlongTheirTrueIntersection)
{
    // oxygen (red) and nitrogen (blue) of different radii and depths; box 4:
    // 50 pixels per unit. At every pixel the sphere whose front is nearer
    // the viewer shows; within a pixel of the seam or an outline either may.
    const glm::vec3 co(-0.4f, 0.1f, 0.3f), cn(0.5f, -0.1f, -0.2f);
    SetAtoms({{kO, co}, {kN, cn}}, 4.0f);
    Frame();
    const std::vector<unsigned char> rgb = Screen();
    const float px = 8.0f / kWidth;
    auto front = [](const glm::vec2& p, const glm::vec3& c, unsigned e) {
        const float r = atom_rgbs[e].w, d2 = glm::dot(p - glm::vec2(c), p - glm::vec2(c));
        return d2 < r * r ? c.z + std::sqrt(r * r - d2) : -1e9f;
    };
    int count[2] = {0, 0};
    for (size_t k = 0; k < rgb.size(); k += 3) {
        const glm::vec2 p((k / 3 % kWidth + 0.5f - kWidth / 2.0f) * px, (k / 3 / kWidth + 0.5f - kHeight / 2.0f) * px);
        const float zo = front(p, co, kO), zn = front(p, cn, kN);
        if (std::max(zo, zn) < -1e8f || std::abs(zo - zn) < 2.0f * px ||
            (zo < -1e8f) != (front(p + px, co, kO) < -1e8f) || (zn < -1e8f) != (front(p + px, cn, kN) < -1e8f))
            continue;
        ASSERT_EQ(rgb[k] > rgb[k + 2], zo > zn) << "pixel " << k / 3 % kWidth << ", " << k / 3 / kWidth;
        ++count[zo > zn];
    }
    EXPECT_GT(std::min(count[0], count[1]), 1000);
}

TEST_F(Scene, BondsGreyBetweenBondedAtomsOnlyWhileShownAndEvaluated)
{
    // box 6: 400 / 12 = 33.3 pixels per unit
    SetAtoms({{kC, {-1.5f, 0, 0}}, {kC, {1.5f, 0, 0}}, {kH, {0, 2.5f, 0}}}, 6.0f);
    display_->SetAtomScale(true);
    SetBond(0, 1);
    // beside: 2.5 radii off the axis; unbonded: between atoms 0 and 2
    const glm::vec3 mid(0, 0, 0), along(0.6f, 0, 0), beside(0, 0.25f, 0), unbonded(-0.75f, 1.25f, 0);
    for (const bool eval : {false, true})
        for (const bool shown : {false, true}) {
            display_->data.is_loaded = eval;
            display_->ShowBonds(shown);
            Frame();
            EXPECT_EQ(IsGrey(At(mid)), eval && shown) << At(mid) << eval << shown;
        }
    EXPECT_TRUE(IsGrey(At(along))) << At(along);
    EXPECT_TRUE(IsBackground(At(beside)) && IsBackground(At(unbonded))) << At(beside) << At(unbonded);
    // a bond along y: the rotation turns the tube onto the bond direction
    SetBond(1, 2);
    Frame();
    EXPECT_TRUE(IsBackground(At(mid)));
    EXPECT_TRUE(IsGrey(At({0.75f, 1.25f, 0}))) << At({0.75f, 1.25f, 0});
}

// A tube is shaded alike all along its length: where it enters a sphere it
// is no brighter than in its middle, so a short stub between two crowded
// atoms shows no single white pixels.
TEST_F(Scene, ABondIsShadedAlikeUpToWhereItEntersTheSpheres)
{
    // box 6: 33.3 pixels per unit; the tube is 6.7 pixels across
    SetAtoms({{kC, {-1.5f, 0, 0}}, {kC, {1.5f, 0, 0}}}, 6.0f);
    display_->SetAtomScale(true);
    SetBond(0, 1);
    display_->ShowBonds(true);
    for (int view = 0; view < 6; ++view) {
        // turned about the bond: the light falls on it from other sides
        const float turn = 0.5f * static_cast<float>(view % 3);
        display_->is_perspective = view >= 3;
        display_->track.Model = glm::rotate(glm::mat4(1.0f), turn, glm::vec3(1, 0, 0));
        Frame();
        // from the outline of one sphere to the other's, a few pixels in
        const float r = atom_rgbs[kC].w * display_->atom_scale;
        auto pixel = [&](float x) {
            return glm::ivec2(glm::project(glm::vec3(x, 0, 0), display_->ViewMatrix() * display_->SceneModel(),
                                           display_->Projection, glm::vec4(0, 0, kWidth, kHeight)));
        };
        const glm::ivec2 a = pixel(-1.5f + r) + glm::ivec2(3, 0), b = pixel(1.5f - r) - glm::ivec2(3, 0);
        for (int dy = -2; dy <= 2; ++dy) {
            const std::vector<unsigned char> row = Screen(a.x, a.y + dy, b.x - a.x, 1);
            const auto [lo, hi] = std::minmax_element(row.begin(), row.end());
            EXPECT_LE(*hi - *lo, 3) << "row " << dy << " turn " << turn << " perspective " << display_->is_perspective;
        }
    }
}

TEST_F(Scene, RedCellBoxForACrystalHiddenBehindAnAtomInFrontOfIt)
{
    // cell 6 inside a view of box 8: edges at x, y = ±3, z = ±3
    SetAtoms({{kC, {0, 0, 0}}, {kC, {3, 0, 3.5f}}}, 8.0f, true, 6.0f);
    Frame();
    // red within 3 pixels of (x, y) along a row (or a column)
    auto red_near = [&](int x, int y, bool along_row) {
        for (int d = -3; d <= 3; ++d)
            if (IsRed(along_row ? Pixel(x + d, y) : Pixel(x, y + d)))
                return true;
        return false;
    };
    // right edge (x = 3 at column 275), left edge (column 125), top edge (row 225);
    // where the atom at z = 3.5 covers the right edge, the atom wins
    EXPECT_TRUE(red_near(275, 200, true) && red_near(125, 100, true) && red_near(200, 225, false));
    EXPECT_FALSE(red_near(275, 150, true));
    display_->is_show_box = false;
    Frame();
    EXPECT_FALSE(red_near(275, 200, true));
}

TEST_F(Scene, YellowLabelsWithSymbolIndexOrBoth)
{
    if (display_->labels.Characters.empty())
        GTEST_SKIP() << "no label font installed";
    // box 2: 100 pixels per unit, the label lies over the atom at the centre
    std::vector<std::pair<unsigned, glm::vec3>> atoms(13, {kH, {0, 5, 0}});
    atoms[12] = {kC, {0, 0, 0}};
    for (int i = 0; i < 12; ++i)
        atoms[i].second.x = 3.0f + static_cast<float>(i);  // out of sight
    SetAtoms(atoms, 2.0f);
    Frame();
    EXPECT_EQ(Yellow(Screen()).count, 0);
    display_->is_show_label = true;
    Extent e[3];  // symbol, index, both
    for (int k = 0; k < 3; ++k) {
        display_->ShowSymbols(k != 1);
        display_->ShowIndex(k != 0);
        Frame();
        e[k] = Yellow(Screen());
        EXPECT_NEAR(e[k].xmin, 186, 5);  // every label starts 0.15 left of the centre: column 200 - 15
    }
    // "C" is one glyph, "12" two, "C12" three
    EXPECT_GT(e[0].count, 30);
    EXPECT_GT(e[1].xmax, e[0].xmax + 10);
    EXPECT_GT(e[2].xmax, e[1].xmax + 10);
    // an atom hidden behind the carbon gets no label over it: the frame is the same
    display_->ShowSymbols(false);
    Frame();
    const std::vector<unsigned char> alone = Screen();
    atoms.push_back({kH, {0, 0, -1}});
    SetAtoms(atoms, 2.0f);
    Frame();
    EXPECT_EQ(Screen(), alone);
}

// A label over a yellow sulfur atom reads: a dark rim around the letters
// stands out from the letters and from the atom; and a bond in front of the
// label does not hide it.
TEST_F(Scene, ALabelReadsOverAYellowAtomAndInFrontOfABond)
{
    if (display_->labels.Characters.empty())
        GTEST_SKIP() << "no label font installed";
    constexpr unsigned kS = 15;
    // box 2: 100 pixels per unit; the bond at z = 2 crosses the label's letters
    SetAtoms({{kS, {0, 0, 0}}, {kH, {-3, -0.05f, 2}}, {kH, {3, -0.05f, 2}}}, 2.0f);
    SetBond(1, 2);
    display_->ShowBonds(true);
    display_->ShowSymbols(true);
    Frame();
    const std::vector<unsigned char> bare = Screen();
    display_->is_show_label = true;
    Frame();
    const std::vector<unsigned char> labelled = Screen();
    auto luminance = [](const unsigned char* p) {
        float l = 0.0f;
        for (int c = 0; c < 3; ++c) {
            const float v = p[c] / 255.0f;
            l += glm::vec3(0.2126f, 0.7152f, 0.0722f)[c] *
                 (v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f));
        }
        return l;
    };
    auto contrast = [](float a, float b) { return (std::max(a, b) + 0.05f) / (std::min(a, b) + 0.05f); };
    float lightest = 0.0f, darkest = 1.0f;
    int over_bond = 0;
    for (size_t k = 0; k < bare.size(); k += 3) {
        if (std::equal(bare.begin() + k, bare.begin() + k + 3, labelled.begin() + k))
            continue;
        lightest = std::max(lightest, luminance(&labelled[k]));
        darkest = std::min(darkest, luminance(&labelled[k]));
        over_bond += IsGrey({bare[k], bare[k + 1], bare[k + 2]});
    }
    const float atom = luminance(&bare[(150 * kWidth + 200) * 3]);
    EXPECT_GE(contrast(lightest, darkest), 7.0f) << "letters against their rim";
    EXPECT_GE(contrast(atom, darkest), 4.5f) << "rim against the atom";
    EXPECT_GT(over_bond, 20) << "drawn over the bond";
}

// A still view draws its labels once and lays them over the frames after:
// those frames look as the first, for labels that overlap one another and
// for more labels than one draw call's batch of 64.
TEST_F(Scene, LabelsOfAViewDrawnAgainLookTheSame)
{
    if (display_->labels.Characters.empty())
        GTEST_SKIP() << "no label font installed";
    // box 8: 25 pixels per unit; 150 labels such as "H123", each reaching over its right neighbour's
    std::vector<std::pair<unsigned, glm::vec3>> atoms;
    for (int y = -5; y < 5; ++y)
        for (int x = -7; x <= 7; ++x)
            atoms.push_back({kH, {x, y, 0}});
    SetAtoms(atoms, 8.0f);
    display_->SetFont(0.02f);
    display_->ShowSymbols(true);
    display_->ShowIndex(true);
    display_->is_show_label = true;
    Frame();
    const std::vector<unsigned char> first = Screen();
    for (int again = 0; again < 2; ++again) {
        Frame();
        const std::vector<unsigned char> later = Screen();
        int off = 0;
        for (size_t k = 0; k < first.size(); ++k)
            off += std::abs(first[k] - later[k]) > 1;
        EXPECT_EQ(off, 0) << "frame " << again + 2;
        // every label's first letter, left of where the next label begins
        int unlabelled = 0;
        for (const auto& a : atoms) {
            const int cx = static_cast<int>((a.second.x + 8.0f) * 25.0f),
                      cy = static_cast<int>(150.0f + a.second.y * 25.0f);
            unlabelled += Yellow(Screen(cx - 4, cy - 4, 14, 18)).count == 0;
        }
        EXPECT_EQ(unlabelled, 0) << "frame " << again + 2;
    }
}

// Leaving out what a view hides only saves work: with it and without it every
// pixel is the same, in views that hide most atoms, that cut atoms at the
// window edges and at the near and far planes, that stack bonds behind bonds,
// and for a crystal's copies and their half-bonds; also when what is found is
// drawn in several parts, and when the view is drawn again from the lists
// that a second look against the bonds thinned.
TEST_F(Scene, LeavingOutWhatAViewHidesChangesNoPixel)
{
    std::vector<std::pair<unsigned, glm::vec3>> atoms;
    unsigned seed = 1;
    auto jitter = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 16) & 1023u) / 1023.0f - 0.5f;
    };
    for (int x = 0; x < 14; ++x)
        for (int y = 0; y < 14; ++y)
            for (int z = 0; z < 14; ++z) {
                const glm::vec3 p = glm::vec3(x, y, z) * 1.2f - 7.8f;
                // in sequence: the order of a call's arguments is the compiler's
                const float jx = jitter(), jy = jitter(), jz = jitter();
                atoms.push_back({(x + y + z) % 3 == 0 ? kH : (x + y) % 2 ? kC : kN, p + 0.4f * glm::vec3(jx, jy, jz)});
            }
    size_t bonds_shown = 0, boxed = 0;
    bool thinned = false;
    auto differing = [](const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
        size_t differ = 0;
        for (size_t k = 0; k < a.size(); k += 3)
            differ += !std::equal(a.begin() + k, a.begin() + k + 3, b.begin() + k);
        return differ;
    };
    auto same_with_and_without = [&](const char* view) {
        display_->visible.is_boxing = false;
        display_->visible.is_culling = true;
        Frame();
        const std::vector<unsigned char> culled = Screen();
        const size_t shown = display_->visible.v_atoms.size();
        bonds_shown = display_->visible.v_bonds.size();
        thinned |= display_->visible.is_thinned;
        Frame();
        EXPECT_EQ(differing(culled, Screen()), 0u) << "pixels drawn again, " << view;
        // one thread finds what two find
        auto found = [this] {
            std::vector<unsigned> atoms = display_->visible.v_atoms, bonds = display_->visible.v_bonds;
            std::sort(atoms.begin(), atoms.end());
            std::sort(bonds.begin(), bonds.end());
            return std::make_pair(atoms, bonds);
        };
        const auto by_two = found();
        display_->visible.split_from = std::numeric_limits<size_t>::max();
        display_->visible.Forget();
        Frame();
        EXPECT_TRUE(found() == by_two) << "one thread against two, " << view;
        display_->visible.split_from = 0;
        display_->visible.is_culling = false;
        Frame();
        const std::vector<unsigned char> all = Screen();
        EXPECT_EQ(differing(all, culled), 0u) << "pixels, " << view;
        // Large atoms drawn over only their boxes: the shading offsets are
        // interpolated from other corners, which moves a few rim pixels, at most 0.1 %.
        display_->visible.is_culling = true;
        display_->visible.is_boxing = true;
        Frame();
        boxed = display_->visible.v_boxed.size() / 3;
        EXPECT_LE(differing(all, Screen()), all.size() / 3 / 1000) << "pixels over boxes, " << view;
        return shown;
    };

    auto find_bonds = [this] {
        display_->data.FindBonds();
        display_->OnModelChanged();
    };
    display_->visible.split_from = 0;  // a second thread for every step, however small
    SetAtoms(atoms, 17.0f);
    find_bonds();
    ASSERT_GT(display_->data.BondCount(), 1000);
    display_->ShowBonds(true);
    display_->SetAtomScale(true);
    EXPECT_LT(same_with_and_without("front"), atoms.size() * 3 / 4);
    EXPECT_GT(boxed, 100u) << "atoms of over 3 pixels go over their boxes";
    // atoms left out as only the bonds hide them come back when the bonds go
    // (at the same atom scale, so that only the bonds change)
    display_->visible.is_boxing = false;
    Frame();
    EXPECT_TRUE(display_->visible.is_thinned);
    display_->is_show_bond = false;
    Frame();
    const std::vector<unsigned char> without_bonds = Screen();
    display_->visible.is_culling = false;
    Frame();
    EXPECT_EQ(differing(Screen(), without_bonds), 0u) << "pixels, bonds hidden after a second look";
    display_->visible.is_culling = display_->is_show_bond = display_->visible.is_boxing = true;
    // what is found goes to the GPU in parts, of the atoms and of the bonds
    glm::uvec2 parts{0};
    display_->visible.is_boxing = false;
    display_->visible.Forget();
    display_->visible.FindAtoms(display_->atoms.v_records, display_->atoms.u_atoms, display_->atom_scale,
                                display_->Projection, display_->ViewMatrix() * display_->SceneModel(),
                                display_->frame_size, display_->atoms.u_version, [&](size_t, size_t) { ++parts.x; });
    display_->visible.FindBonds(display_->bonds.v_pairs, BOND_RADIUS, display_->bonds.u_version,
                                [&](size_t, size_t) { ++parts.y; });
    display_->visible.is_boxing = true;
    display_->visible.Forget();
    EXPECT_TRUE(glm::all(glm::greaterThan(parts, glm::uvec2(1))));
    const glm::mat4 turned = glm::rotate(glm::mat4(1.0f), 0.7f, glm::normalize(glm::vec3(1.0f, 2.0f, 0.5f)));
    display_->track.Model = turned;
    same_with_and_without("turned");
    // close up: the window cuts atoms, and so do the near and far planes
    display_->SetZoom(0.06f);
    same_with_and_without("close up");
    display_->SetZoom(1.0f);

    // A diamond lattice seen along a cell axis leaves open channels between
    // its columns, and each bond's image lies over those of the cells behind
    // it: only the bonds in front can hide them. Seen a little askew too,
    // where the bonds behind peek out beside those in front.
    const glm::vec3 basis[8] = {{0, 0, 0},
                                {0.5f, 0.5f, 0},
                                {0.5f, 0, 0.5f},
                                {0, 0.5f, 0.5f},
                                {0.25f, 0.25f, 0.25f},
                                {0.75f, 0.75f, 0.25f},
                                {0.75f, 0.25f, 0.75f},
                                {0.25f, 0.75f, 0.75f}};
    std::vector<std::pair<unsigned, glm::vec3>> diamond;
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 5; ++y)
            for (int z = 0; z < 5; ++z)
                for (const glm::vec3& b : basis)
                    diamond.push_back({kSi, (glm::vec3(x, y, z) + b - 2.5f) * 5.431f});
    SetAtoms(diamond, 16.0f);
    find_bonds();
    const size_t lattice_bonds = display_->data.BondCount();
    ASSERT_GT(lattice_bonds, 1500u);
    display_->track.Model = glm::mat4(1.0f);
    same_with_and_without("diamond along an axis");
    EXPECT_LT(bonds_shown * 3, lattice_bonds) << "the bonds in front hide those behind";
    display_->track.Model = glm::rotate(glm::mat4(1.0f), 0.03f, glm::normalize(glm::vec3(1.0f, 0.4f, 0.0f)));
    same_with_and_without("diamond a little askew");
    display_->track.Model = turned;

    // two by two cells of a crystal: copies, and bonds across the faces in halves
    atoms.resize(500);
    for (auto& a : atoms)
        a.second = glm::mod(a.second, 6.0f) - 3.0f;
    SetAtoms(atoms, 6.0f, true, 6.0f);
    find_bonds();
    display_->repeat_cells = glm::ivec3(2, 2, 1);
    same_with_and_without("crystal");
    EXPECT_TRUE(thinned) << "the second look leaves out atoms that only bonds hide";
    display_->visible.split_from = two_threads::MIN_SPLIT;
}

// While the view moves the frame is drawn at half the resolution and scaled
// up: near the full picture, with the visibility pass on a quarter of the
// pixels; the still frame after it is the full picture again, pixel for pixel.
TEST_F(Scene, AMovingViewIsDrawnAtHalfResolutionAndTheStillOneInFull)
{
    std::vector<std::pair<unsigned, glm::vec3>> atoms;
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 6; ++y)
            atoms.push_back({(x + y) % 2 ? kC : kO, glm::vec3(x - 2.5f, y - 2.5f, 0.3f * x) * 1.6f});
    SetAtoms(atoms, 6.0f);
    Frame();
    const std::vector<unsigned char> still = Screen();
    display_->is_moving = true;
    Frame();
    EXPECT_EQ(display_->frame_size, glm::ivec2(kWidth / 2, kHeight / 2));
    const std::vector<unsigned char> moving = Screen();
    size_t near = 0;
    for (size_t k = 0; k < still.size(); ++k)
        near += std::abs(int(still[k]) - int(moving[k])) <= 24;
    EXPECT_GT(near, still.size() * 9 / 10) << "of " << still.size() << " channels near the still picture";
    display_->is_moving = false;
    Frame();
    EXPECT_EQ(display_->frame_size, glm::ivec2(kWidth, kHeight));
    EXPECT_TRUE(Screen() == still);
}
