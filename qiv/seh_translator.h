#pragma once
// The processor-fault reporter. A thread that installs it has an access violation, a division
// by zero or an illegal instruction written out as one "XException(...)" line (debugger output
// and standard error) before the process ends, instead of dying silently. The handler is
// installed once per process; further installs only set the calling thread's flags.
//
// Not responsible for: recovering from a fault. The state after one cannot be trusted, so the
// process always ends (C++ exceptions, which the server does recover from, are not faults).

#include <string>

namespace qiv {

// Turns reporting on for the calling thread; with chainPrevious the handler that was in place
// before is consulted first. Installing twice on one thread keeps one handler and updates the
// chaining choice.
void installSehTranslator(bool chainPrevious);

// Runs at process exit once the reporter was installed: gives back the per-thread flag storage.
void freeSehTls();

// Whether the calling thread reports faults, and whether it chains to the earlier handler.
bool sehTranslatorInstalled();
bool sehTranslatorChains();

// The report line: "XException(<build date>)#54 `anonymous-namespace'::usrSEH: code 0x<code>,
// flags 0x<flags>, extra <pointer>, ip <pointer>, arg#<paramCount>" with numbers in lower-case
// hex and pointers as 0x and hex (null as 0x0).
std::string formatSehText(unsigned code, unsigned flags, const void* extra, const void* ip,
                          unsigned paramCount);

}  // namespace qiv
