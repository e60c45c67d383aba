// The memory cases of the transfer benchmark: the peak resident size of unattended runs of the
// program (the large transfers; an Mget of many small files) and the resident size of a script
// that loops with goto, sampled as it goes. Bench only.
#pragma once

#include <string>

#include "BenchSupport.h"

namespace tarsil::bench {

// The remote folder of `count` small files, and making it (kept when it is complete).
std::string ManyFolder(int count);
void PrepareManyFiles(const Config& config, int count);

// Peak resident size (KiB) of tarsil /auto over Get and Put of the large file and the Mget of the
// small files.
long ProgramPeak(const Config& config);
// Peak resident size (KiB) of tarsil /auto over the Mget of `count` small files.
long ManyFilesPeak(const Config& config, int count);
// Runs a goto loop of config.cycles cycles (each a CWD to the server) through the executor, the
// session and the execution log of a main-window controller, without the pause between lines,
// and prints the resident size every tenth of the way.
void GotoLoopCurve(const Config& config);

}  // namespace tarsil::bench
