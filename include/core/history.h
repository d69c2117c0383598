// Undo and redo of structure edits: a linear list of steps with a cursor.
// A step is a list of primitive edits (an atom deleted, an element changed),
// each with everything needed to put the structure back exactly as it was.
#ifndef TESK_CORE_HISTORY_H
#define TESK_CORE_HISTORY_H

#include <any>
#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

#include <glm/glm.hpp>

// One bond record as it sat in the model's bond vectors.
struct CBondEntry {
    std::size_t k = 0;  // its place among the records
    glm::uvec2 pair{0u};
    glm::ivec3 image{0};  // cell of the second atom's image
};

// One atom moved by whole cells: what it was, and by how much.
struct CWrapEntry {
    unsigned atom = 0;
    glm::ivec3 shift{0};
    glm::vec3 position{0.0f};  // drawn position before
    std::any file_place;       // the file copy's place of the atom before
};

// One primitive edit.
struct CEditRecord {
    bool is_delete = false;
    bool is_wrap = false;                     // atoms moved into the cell: v_wrapped, and the old bond records
    unsigned atom = 0;                        // atom number at the time of the edit
    unsigned element = 0;                     // element index before the edit
    unsigned new_element = 0;                 // element index after a change
    glm::vec3 position{0.0f};                 // drawn position of a deleted atom
    std::any file_atom;                       // and the file copy's atom, as the copy gave it
    std::vector<CBondEntry> v_removed_bonds;  // the atom's bonds before the edit, by place
    unsigned u_added_bonds = 0;               // records a change appended at the end
    std::vector<CWrapEntry> v_wrapped;
};

// Records applied in order; undone in reverse order.
struct CEditStep {
    std::vector<CEditRecord> v_records;
};

class CHistory {
public:
    // the oldest steps are dropped beyond this
    static constexpr std::size_t MAX_STEPS = 10000;

    void Clear();
    // Adds a step after the current one; steps that were undone are dropped.
    void Push(CEditStep step);
    bool CanUndo() const { return u_done > 0; }
    bool CanRedo() const { return u_done < v_steps.size(); }
    // The step to undo or redo, moving the cursor; null when there is none.
    CEditStep* Undo();
    CEditStep* Redo();
    // Calls `visit` on the file copy's atom of every deletion kept.
    void ForEachFileAtom(const std::function<void(std::any&)>& visit);

    std::deque<CEditStep> v_steps;
    std::size_t u_done = 0;  // steps applied; v_steps[u_done - 1] is the last
};

#endif
