// The display's operations on real files: loading, deleting and retyping
// the selected atom.
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
    Frame();
    EXPECT_TRUE(AnyRed());
    // the atoms are centred on the origin: Na left, Cl right
    ClickOnCentreOf(display_->data.v_float_raw_xyz[0]);
    EXPECT_EQ(display_->selected_symbol, "Na");
    ClickOnCentreOf(display_->data.v_float_raw_xyz[1]);
    EXPECT_EQ(display_->selected_symbol, "Cl");

    ASSERT_TRUE(display_->ReadFile(kDir, kChain));
    Frame();
    EXPECT_FALSE(AnyRed());
    // the user may still switch the box on: it then encloses the molecule
    display_->is_show_box = true;
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
    auto grey = [](const Rgb& p) { return std::abs(p.r - p.g) <= 3 && std::abs(p.g - p.b) <= 3 && p.r > 60; };
    // points on the two bonds between the atoms' surfaces
    const glm::vec3 cn = carbon + 0.525f * (nitrogen - carbon);
    const glm::vec3 ch = carbon + 0.62f * (hydrogen - carbon);
    ASSERT_TRUE(grey(At(cn))) << At(cn);
    ASSERT_TRUE(grey(At(ch))) << At(ch);
    ClickOnCentreOf(nitrogen);
    ASSERT_TRUE(display_->is_atom_selected);
    ASSERT_EQ(display_->selected_atom, 1u);

    display_->DeleteAtom(display_->selected_atom);
    EXPECT_EQ(display_->GetNumberOfAtoms(), 2u);
    EXPECT_FALSE(display_->is_atom_selected);
    // the nitrogen and its bond are gone; the hydrogen, now atom 1, stays with its bond
    Frame();
    EXPECT_TRUE(IsNear(At(nitrogen), glm::vec3(kBackground), 1)) << At(nitrogen);
    EXPECT_TRUE(IsNear(At(cn), glm::vec3(kBackground), 1)) << At(cn);
    EXPECT_TRUE(grey(At(ch))) << At(ch);
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
    EXPECT_EQ(display_->selected_symbol, "O");
    // unselected it is drawn as oxygen: red over green and blue
    ClickOnCentreOf(glm::vec3(0, 20, 0));
    ASSERT_FALSE(display_->is_atom_selected);
    const glm::ivec2 px = ToPixel(hydrogen);
    const Rgb p = Pixel(px.x, px.y);
    EXPECT_TRUE(p.r > p.g + 40 && p.r > p.b + 40) << p;
}
