#include "core/history.h"

#include <utility>

void CHistory::Clear()
{
    v_steps.clear();
    u_done = 0;
}

void CHistory::Push(CEditStep step)
{
    v_steps.erase(v_steps.begin() + std::ptrdiff_t(u_done), v_steps.end());
    v_steps.push_back(std::move(step));
    if (v_steps.size() > MAX_STEPS)
        v_steps.pop_front();
    u_done = v_steps.size();
}

CEditStep* CHistory::Undo()
{
    if (!CanUndo())
        return nullptr;
    return &v_steps[--u_done];
}

CEditStep* CHistory::Redo()
{
    if (!CanRedo())
        return nullptr;
    return &v_steps[u_done++];
}

void CHistory::ForEachFileAtom(const std::function<void(std::any&)>& visit)
{
    for (CEditStep& step : v_steps)
        for (CEditRecord& r : step.v_records)
            if (r.is_delete)
                visit(r.file_atom);
}
