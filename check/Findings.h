// Every rule of the tool: what the facts mean, and the problems a report shows, each with its fix
// (worded as the troubleshooting section of the users' README.txt words it; a test holds them).
#pragma once

#include "check/CheckReport.h"
#include "check/LoopProbe.h"

struct Finding { std::string id, problem, fix; };

// A stored name, as Windows lists it now and as Tessivane holds it.
struct Choice {
    bool input = false;  // a shared input; else a chosen output
    std::string name;
    ListedPort const* device = nullptr;  // listed under that name
    std::optional<bool> connected;       // none when the listing failed
    std::string listedAs;                // not listed, but under a name Windows changed
    bool portsListed = false;
    EntryState const* entry = nullptr;  // in Tessivane's published state
    // Open (Tessivane's state) or opens (the tool's probe), and why not; none when neither says.
    std::optional<bool> open;
    std::string error;
    std::uint32_t errorCode = 0;  // the system's
};

bool listed(PortListing const& listing, std::string const& name);
bool loopbackListed(CheckReport const& report);
// A Tessivane runs in this session; the tool then opens no device, the state answers.
bool tessivaneRuns(CheckReport const& report);
std::vector<Choice> choicesOf(CheckReport const& report);
std::vector<Finding> findingsOf(CheckReport const& report);
// What a round trip says, when something went wrong; through Tessivane's pair, losses are the driver's.
std::optional<Finding> loopFinding(LoopResult const& loop, bool loopback);
