// The engine of VelnariL: recognises which of the eight L-series fonts it has
// by testing every byte its patch set would change, then writes that set; it
// also finishes a font that a run cut short left partly renamed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "run_flow.hpp"

inline constexpr int NO_SET = -1;  // distinct from every set index, 0 included

// The first set, in probe order, whose every expected byte the file holds, or
// NO_SET. A set whose offsets the file does not reach never matches.
int findPatchSet(EditStream& stream, const std::uint8_t* const* setStarts, std::size_t setCount);
int findPatchSet(EditStream& stream);

// The engine entry. The first set findPatchSet finds is applied: Finished,
// finish flag set. Without one, a file that some set fits with every record
// holding its replacement byte is renamed already; otherwise, if exactly one
// set fits with every record holding its expected or its replacement byte
// (a run cut short), that set is applied over it: Completed, finish flag set.
// Anything else (renamed already, several sets or none fit) is NotRecognised,
// with the file neither written nor its times touched. A record past the end
// of the file fits nothing. A set goes to the file in PATCH_WRITE_COUNT
// writes, one for each entry of PATCH_WRITE_STARTS, so that a run cut short
// leaves each stored copy of the name, each length and the last byte wholly
// old or wholly new.
EngineResult patchAndRename(EditStream& stream);
