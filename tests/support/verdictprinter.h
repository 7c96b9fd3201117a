#pragma once

#include "store/verdict.h"

#include <ostream>

// A verdict in failure output as the evidence file writes it.
inline void PrintTo(const Verdict &verdict, std::ostream *os)
{
    *os << '\n' << encodeVerdict(verdict).replace("\r\n", "\n").toStdString();
}
