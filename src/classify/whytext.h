#pragma once

#include <QString>

struct Services;
struct Verdict;

// The evidence of a verdict in plain words for a person, on one line: the rule that decided
// and what it saw ("Blocked sender: *@lottery.example"), or what spared the message.
QString whyText(const Verdict &verdict, const Services &services);
