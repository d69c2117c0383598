// Colour-ID palette: entry k holds (k mod 256, (k div 256) mod 256, k div 65536)
// / 255, so an 8-bit framebuffer gives back exactly the bytes of k.
#include "cpalette.h"

void CPalette::update_palette_index()
{
    _index_palette.clear();
    id_rgb = glm::vec3(0.0f);
    // One entry more than atoms: the count itself would overflow.
    if (_lvls == 0xffffffffu)
        return;
    _index_palette.resize(static_cast<size_t>(_lvls) + 1);
    for (glm::vec3& entry : _index_palette) {
        entry = id_rgb / 255.0f;
        id_rgb.r += 1.0f;
        if (id_rgb.r > 255.0f) {
            id_rgb.r = 0.0f;
            id_rgb.g += 1.0f;
            if (id_rgb.g > 255.0f) {
                id_rgb.g = 0.0f;
                id_rgb.b += 1.0f;
            }
        }
    }
}

uint32_t CPalette::get_index_rgb(int r, int g, int b)
{
    uint32_t index = 0;
    if (r > 0)
        index += static_cast<uint32_t>(r);
    if (g > 0)
        index += 256u * static_cast<uint32_t>(g);
    if (b > 0)
        index += 65536u * static_cast<uint32_t>(b);
    return index;
}

glm::vec3 CPalette::get_index(unsigned c) const
{
    if (c < _index_palette.size())
        return _index_palette[c];
    return glm::vec3(static_cast<float>(c % 256u), static_cast<float>((c / 256u) % 256u),
                     static_cast<float>(c / 65536u)) /
           255.0f;
}
