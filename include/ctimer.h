// A small clock; the PDB writer takes the date of its generated HEADER line from it.
#ifndef TESK_CTIMER_H
#define TESK_CTIMER_H

#include <string>

class CTimer {
public:
    // The current local time as ctime() writes it, without the line feed,
    // for example "Sat Dec  5 08:15:43 2026".
    std::string GetDate() const;
};

#endif
