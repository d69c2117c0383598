// Isosurfaces drawn into a real context: a density blob around an atom, read
// back pixel by pixel, opaque and translucent, and repeated with the cell.
#include <chrono>
#include <fstream>
#include <thread>

#include "render_gl_support.h"
#include "test_support.h"
#include "ui/volume_panel.h"

namespace render_test {
namespace {

class VolumeGlTest : public GlTest {
protected:
    // The surface's colour where it faces the viewer; the blob's centre as drawn.
    void LoadBlob()
    {
        const Blob b{glm::dmat3(8.0), {32, 32, 32}, {0.5, 0.5, 0.5}, 1.0, 0.2};
        std::ofstream(dir.path("CHGCAR")) << BlobChgcar(b);
        view.Open(dir.path("CHGCAR"), io::VolumeKind::Vasp);
        std::string message;
        for (int k = 0; k < 500 && view.Opening(); ++k) {
            ASSERT_NE(view.FinishOpen(*display_, message), CVolumeView::Opened::Refused) << message;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(view.Active());
        view.level = 0.2f;
        // the worker builds it; the passes take it when it is done
        for (int k = 0; k < 500 && (view.Busy() || view.level != 0.2f || !Built()); ++k) {
            view.Step();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(Built());
        display_->atom_scale = 0.2f;  // the atom sits inside the surface
        radius = float(b.sigma * std::sqrt(2.0 * std::log(1.0 / b.level)));
    }
    bool Built()
    {
        view.Step();
        return !view.Busy() && view.level == 0.2f && view.Triangles() > 0;
    }
    void Draw(bool moving = false)
    {
        Frame();
        view.Draw(*display_, moving);
        glUseProgram(0);
        glFinish();
    }
    // Pixel of a point of the file's frame (the drawn cell starts at cell_origin).
    Rgb AtFile(const glm::vec3& p) const { return At(p + glm::vec3(display_->data.CellOrigin())); }

    ScratchDir dir{"tesk_glvol"};
    CVolumeView view;
    float radius = 0.0f;
};

TEST_F(VolumeGlTest, TheSurfaceHidesItsAtomUnlessTranslucentTurnsAndRepeatsWithTheCell)
{
    LoadBlob();
    const glm::vec3 centre(4.0f), outside(4.0f + 1.6f * radius, 4.0f, 4.0f);
    Draw();
    const Rgb front = AtFile(centre);
    // yellow, lit: red and green well above blue, and not the background
    EXPECT_GT(front.r, front.b + 60) << front;
    EXPECT_GT(front.g, front.b + 40) << front;
    EXPECT_TRUE(IsBackground(AtFile(outside))) << AtFile(outside);
    // while the view turns the faces turned away are left out: the front ones
    // stay (off the centre, where an inside face would be lit otherwise)
    const glm::vec3 aside = centre + glm::vec3(0.5f * radius, 0.5f * radius, 0.0f);
    const Rgb still = AtFile(aside);
    Draw(true);
    const Rgb turning = AtFile(aside);
    EXPECT_LE(std::abs(turning.r - still.r) + std::abs(turning.g - still.g) + std::abs(turning.b - still.b), 3)
        << turning << still;

    // half see-through: the atom inside shows, the background beside stays
    view.opacity = 0.5f;
    Draw();
    const Rgb see = AtFile(centre);
    EXPECT_GT(std::abs(see.r - front.r) + std::abs(see.g - front.g) + std::abs(see.b - front.b), 30) << see << front;
    EXPECT_TRUE(IsBackground(AtFile(outside)));

    // two cells along x: a second sphere one cell over, the gap between them empty
    view.opacity = 1.0f;
    display_->repeat_cells = glm::ivec3(2, 1, 1);
    Draw();
    Draw();  // the repeat takes effect in the scene pass
    const Rgb first = AtFile(centre), second = AtFile(centre + glm::vec3(8.0f, 0.0f, 0.0f));
    EXPECT_GT(first.r, first.b + 60) << first;
    EXPECT_GT(second.r, second.b + 60) << second;
    EXPECT_TRUE(IsBackground(AtFile(glm::vec3(8.0f, 4.0f + 1.6f * radius, 4.0f))));
    view.Clear();
}

}  // namespace
}  // namespace render_test
