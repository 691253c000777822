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

// The engine entry. A rename applies the first set whose every expected byte
// the file holds (findPatchSet), a revert the first whose every replacement
// byte it holds, writing the other bytes of the set's records: Finished,
// finish flag set, the set's name noted in the result with the stored copies
// that changed (not noted when no copy changed). Without one, a file whose
// set already holds what the run would write is done: a rename says
// NotRecognised (renamed already), a revert Finished, both writing nothing.
// Otherwise, if exactly one set fits with every record holding its expected
// or its replacement byte (a run cut short), that set is applied over it:
// Completed, finish flag set. Anything else (several sets or none fit) is
// NotRecognised; or, where a Kanovel name in UTF-16BE begins within the
// first 4,096 bytes, ForTheOtherOne in a file that begins as a font does
// (FONT_SIGNATURES) and NotAFont in any other; with the file neither written
// nor its times touched. A record past the end of the file fits nothing. A
// set goes to the file in PATCH_WRITE_COUNT writes, one for each entry of
// PATCH_WRITE_STARTS, so that a run cut short leaves each stored copy of the
// name, each length and the last byte wholly old or new.
EngineResult patchAndRename(EditStream& stream, Direction direction);
