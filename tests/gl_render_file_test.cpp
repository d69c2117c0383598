// The display's operations on real files: loading, deleting and retyping
// the selected atom.
#include <algorithm>
#include <string>

#include "render_gl_support.h"

using namespace render_test;

namespace {

const std::string kDir = std::string(TESK_TEST_DATA) + "/render";
const std::string kChain = kDir + "/chain.xyz";

// The box is red: green and blue come only from the white specular term, so
// they are equal; this tells it from the orange of a selected atom.
bool AnyRed()
{
    const std::vector<unsigned char> s = Screen();
    for (size_t k = 0; k < s.size(); k += 3)
        if (s[k] > 40 && s[k] > s[k + 1] + 30 && std::abs(s[k + 1] - s[k + 2]) <= 4)
            return true;
    return false;
}

bool IsGrey(const Rgb& p)
{
    return std::abs(p.r - p.g) <= 3 && std::abs(p.g - p.b) <= 3 && p.r > 60;
}

}  // namespace

class FileOps : public GlTest {
protected:
    void ClickOnCentreOf(const glm::vec3& p) { ClickOnPixel(ToPixel(p)); }
};

TEST_F(FileOps, LoadingShowsTheStructureAndTheBoxOnlyForACrystal)
{
    ASSERT_TRUE(display_->ReadFile(kDir, kDir + "/salt-cell.xyz", INPUT_FILE_TYPE_XYZ));
    Frame();
    EXPECT_TRUE(AnyRed());
    // the atoms are centred on the origin: Na left, Cl right
    ClickOnCentreOf(display_->data.Positions()[0]);
    EXPECT_EQ(display_->SelectedSymbol(), "Na");
    ClickOnCentreOf(display_->data.Positions()[1]);
    EXPECT_EQ(display_->SelectedSymbol(), "Cl");

    ASSERT_TRUE(display_->ReadFile(kDir, kChain, INPUT_FILE_TYPE_XYZ));
    Frame();
    EXPECT_FALSE(AnyRed());
    // the user may still switch the box on: it then encloses the molecule
    display_->is_show_box = true;
    Frame();
    EXPECT_TRUE(AnyRed());
}

TEST_F(FileOps, DeletingOrRetypingTheSelectedAtomShowsInTheNextFrame)
{
    ASSERT_TRUE(display_->ReadFile(kDir, kChain, INPUT_FILE_TYPE_XYZ));
    display_->ShowBonds(true);
    display_->SetAtomScale(true);
    Frame();
    const glm::vec3 carbon = display_->data.Positions()[0];
    const glm::vec3 nitrogen = display_->data.Positions()[1];
    const glm::vec3 hydrogen = display_->data.Positions()[2];
    // points on the two bonds between the atoms' surfaces
    const glm::vec3 cn = carbon + 0.525f * (nitrogen - carbon), ch = carbon + 0.62f * (hydrogen - carbon);
    ASSERT_TRUE(IsGrey(At(cn)) && IsGrey(At(ch))) << At(cn) << At(ch);
    ClickOnCentreOf(nitrogen);
    ASSERT_FALSE(display_->selection.IsEmpty());
    ASSERT_EQ(display_->selection.Last(), 1u);

    display_->DeleteAtom(display_->selection.Last());
    EXPECT_EQ(display_->GetNumberOfAtoms(), 2u);
    EXPECT_TRUE(display_->selection.IsEmpty());
    // the nitrogen and its bond are gone; the hydrogen, now atom 1, stays with its bond
    Frame();
    EXPECT_TRUE(IsBackground(At(nitrogen)) && IsBackground(At(cn))) << At(nitrogen) << At(cn);
    EXPECT_TRUE(IsGrey(At(ch))) << At(ch);
    ClickOnCentreOf(hydrogen);
    EXPECT_EQ(display_->selection.Last(), 1u);
    EXPECT_EQ(display_->SelectedSymbol(), "H");

    // retyped to oxygen: the selection says so, and unselected it is drawn red
    display_->UpdateAtomType(7);
    EXPECT_EQ(display_->SelectedSymbol(), "O");
    ClickOnCentreOf(glm::vec3(0, 20, 0));
    ASSERT_TRUE(display_->selection.IsEmpty());
    const Rgb p = At(hydrogen);
    EXPECT_TRUE(p.r > p.g + 40 && p.r > p.b + 40) << p;
}
