// The display's operations on real files: loading (and a failed load after a
// good one), deleting and retyping the selected atom, re-centring and saving.
#include <cstdio>
#include <fstream>
#include <string>

#include "render_gl_support.h"

using namespace render_test;

namespace {

const std::string kDir = std::string(TESK_TEST_DATA) + "/render";
const std::string kChain = kDir + "/chain.xyz";
const std::string kSalt = kDir + "/salt-cell.xyz";

// The box is red: green and blue come only from the white specular term, so
// they are equal; this tells it from the orange of a selected atom.
bool IsRed(const Rgb& p)
{
    return p.r > 40 && p.r > p.g + 30 && std::abs(p.g - p.b) <= 4;
}

}  // namespace

class FileOps : public GlTest {
protected:
    // A click on the pixel that shows a model point, as last drawn.
    void ClickOnCentreOf(const glm::vec3& p)
    {
        const glm::ivec2 px = ToPixel(p);
        Click(px.x, kHeight - px.y);
    }

    bool AnyRed()
    {
        const std::vector<unsigned char> s = Screen();
        for (size_t k = 0; k + 2 < s.size(); k += 3)
            if (IsRed(Rgb{s[k], s[k + 1], s[k + 2]}))
                return true;
        return false;
    }
};

TEST_F(FileOps, LoadingShowsTheStructureAndTheBoxOnlyForACrystal)
{
    display_->input_format = INPUT_FILE_TYPE_XYZ;
    ASSERT_TRUE(display_->ReadFile(kDir, kSalt));
    EXPECT_TRUE(display_->is_visible);
    EXPECT_TRUE(display_->is_show_box);
    EXPECT_EQ(display_->GetNumberOfAtoms(), 2u);
    EXPECT_EQ(display_->pick._index_palette.size(), 3u);
    EXPECT_NE(display_->box.VAOC, 0u);
    Frame();
    EXPECT_TRUE(AnyRed());
    // the atoms are centred on the origin: Na left, Cl right
    ClickOnCentreOf(display_->data.v_float_raw_xyz[0]);
    EXPECT_EQ(display_->selected_symbol, "Na");
    ClickOnCentreOf(display_->data.v_float_raw_xyz[1]);
    EXPECT_EQ(display_->selected_symbol, "Cl");

    ASSERT_TRUE(display_->ReadFile(kDir, kChain));
    EXPECT_FALSE(display_->is_show_box);
    EXPECT_EQ(display_->pick._index_palette.size(), 4u);
    Frame();
    EXPECT_FALSE(AnyRed());
    // the user may still switch the box on: it then encloses the molecule
    display_->is_show_box = true;
    Frame();
    EXPECT_TRUE(AnyRed());
}

TEST_F(FileOps, AFailedLoadLeavesEverythingAsItWas)
{
    ASSERT_TRUE(display_->ReadFile(kDir, kSalt));
    const unsigned box = display_->box.VAOC;
    const auto positions = display_->data.v_float_raw_xyz;
    const size_t palette = display_->pick._index_palette.size();

    EXPECT_FALSE(display_->ReadFile(kDir, kDir + "/no-such-file.xyz"));
    EXPECT_TRUE(display_->is_visible);
    EXPECT_TRUE(display_->is_show_box);
    EXPECT_EQ(display_->box.VAOC, box);
    EXPECT_EQ(display_->data.v_float_raw_xyz, positions);
    EXPECT_EQ(display_->pick._index_palette.size(), palette);
    Frame();
    EXPECT_TRUE(AnyRed());
}

TEST_F(FileOps, DeletingTheSelectedAtomTakesItAndItsBondsOffTheNextFrame)
{
    ASSERT_TRUE(display_->ReadFile(kDir, kChain));
    display_->ShowBonds(true);
    display_->SetAtomScale(true);
    Frame();
    const glm::vec3 carbon = display_->data.v_float_raw_xyz[0];
    const glm::vec3 nitrogen = display_->data.v_float_raw_xyz[1];
    const glm::vec3 hydrogen = display_->data.v_float_raw_xyz[2];
    auto at = [&](const glm::vec3& p) {
        const glm::ivec2 px = ToPixel(p);
        return Pixel(px.x, px.y);
    };
    auto grey = [](const Rgb& p) { return std::abs(p.r - p.g) <= 3 && std::abs(p.g - p.b) <= 3 && p.r > 60; };
    // points on the two bonds between the atoms' surfaces
    const glm::vec3 cn = carbon + 0.525f * (nitrogen - carbon);
    const glm::vec3 ch = carbon + 0.62f * (hydrogen - carbon);
    ASSERT_TRUE(grey(at(cn))) << at(cn);
    ASSERT_TRUE(grey(at(ch))) << at(ch);
    const Rgb h_before = at(hydrogen);
    ClickOnCentreOf(nitrogen);
    ASSERT_TRUE(display_->is_atom_selected);
    ASSERT_EQ(display_->selected_atom, 1u);

    display_->DeleteAtom(display_->selected_atom);
    EXPECT_EQ(display_->GetNumberOfAtoms(), 2u);
    EXPECT_FALSE(display_->is_atom_selected);
    EXPECT_EQ(display_->selected_atom, NO_ATOM_SELECTED);
    EXPECT_TRUE(display_->v_selected_atoms.empty());
    EXPECT_EQ(display_->pick._index_palette.size(), 3u);

    // the nitrogen and its bond are gone; the hydrogen, now atom 1, stays in
    // place in its own colour with its bond
    Frame();
    EXPECT_TRUE(IsNear(at(nitrogen), glm::vec3(kBackground), 1)) << at(nitrogen);
    EXPECT_TRUE(IsNear(at(cn), glm::vec3(kBackground), 1)) << at(cn);
    EXPECT_TRUE(grey(at(ch))) << at(ch);
    EXPECT_TRUE(IsNear(at(hydrogen), glm::vec3(h_before.r, h_before.g, h_before.b) / 255.0f, 1)) << at(hydrogen);
    ClickOnCentreOf(nitrogen);
    EXPECT_FALSE(display_->is_atom_selected);
    ClickOnCentreOf(hydrogen);
    EXPECT_EQ(display_->selected_atom, 1u);
    EXPECT_EQ(display_->selected_symbol, "H");
}

TEST_F(FileOps, RetypingTheSelectedAtomUpdatesTheSelectionAndTheColour)
{
    ASSERT_TRUE(display_->ReadFile(kDir, kChain));
    Frame();
    const glm::vec3 hydrogen = display_->data.v_float_raw_xyz[2];
    ClickOnCentreOf(hydrogen);
    ASSERT_EQ(display_->selected_atom, 2u);
    display_->UpdateAtomType(7);
    EXPECT_EQ(display_->data.v_atom_index[2], 7u);
    EXPECT_EQ(display_->selected_zatom, 8u);
    EXPECT_EQ(display_->selected_symbol, "O");

    // out of the table: ignored
    display_->UpdateAtomType(periodic_table_atoms);
    EXPECT_EQ(display_->data.v_atom_index[2], 7u);

    // unselected it is drawn as oxygen: red over green and blue
    ClickOnCentreOf(glm::vec3(0, 20, 0));
    ASSERT_FALSE(display_->is_atom_selected);
    const glm::ivec2 px = ToPixel(hydrogen);
    const Rgb p = Pixel(px.x, px.y);
    EXPECT_GT(p.r, p.g + 40) << p;
    EXPECT_GT(p.r, p.b + 40) << p;
}

TEST_F(FileOps, RecentringAndSavingKeepTheScene)
{
    ASSERT_TRUE(display_->ReadFile(kDir, kSalt));
    const auto positions = display_->data.v_float_raw_xyz;
    display_->CenterCoordinates();
    EXPECT_EQ(display_->data.v_float_raw_xyz, positions);
    EXPECT_NE(display_->box.VAOC, 0u);
    Frame();
    EXPECT_TRUE(AnyRed());

    const std::string out = std::string(::testing::TempDir()) + "tesk_render_saved.xyz";
    std::remove(out.c_str());
    EXPECT_TRUE(display_->SaveFile(out));
    CDisplay& d = *display_;
    ASSERT_TRUE(d.ReadFile(::testing::TempDir(), out));
    EXPECT_EQ(d.GetNumberOfAtoms(), 2u);
    std::remove(out.c_str());
}
