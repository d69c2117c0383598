// Colour-ID palette: atom number k is drawn in a colour that encodes k, so
// one pixel read back tells which atom is under the pointer.
#ifndef TESK_CPALETTE_H
#define TESK_CPALETTE_H

#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

class CPalette {
public:
    CPalette() = default;

    void update_palette_index();
    // Identity colour of atom c; computed directly when c lies beyond the
    // palette, so a palette that lags behind the atom count never reads past it.
    glm::vec3 get_index(unsigned c) const;
    static uint32_t get_index_rgb(int r, int g, int b);

    uint32_t _lvls = 0;
    std::vector<glm::vec3> _index_palette;
    glm::vec3 id_rgb{0.0f};
};

#endif
