// Envelopes and item motion as scene files write them. Format 3 and later:
//
//     { Envelope
//       nkeys
//       Key value time spantype p1 p2 p3 p4 p5 p6
//       Behaviors pre post
//     }
//
// and an item's motion as `NumChannels n`, then `Channel k` and an envelope
// for each channel. Formats 1 and 2 keep the older forms: the channel count,
// then either per channel a key count and lines `value time flags tension
// continuity bias` (times in seconds), or a key count and per key a line with
// every channel's value and a line `frame linear tension continuity bias`.
// Both keep angles in degrees and only TCB or linear spans. A setting's
// `(envelope)` there is one channel in the same forms.
//
// Every count is checked against the lines left in the file before it is
// used, so that no count the file cannot back sizes anything.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_MOTION_READER_H
#define BRELVIX_TOOLS_LIGHTWAVE_MOTION_READER_H

#include "tools/lightwave/envelope.h"
#include "tools/lightwave/line_cursor.h"
#include "tools/lightwave/scene.h"

#include <string_view>
#include <vector>

namespace brelvix::lightwave {

/// Reads an envelope block, its `{ Envelope` line next. False (with the
/// fault in the cursor) when it is malformed.
bool readEnvelope(LineCursor &lines, Envelope &envelope);

/// Reads an envelope in the older forms of formats 1 and 2, as a setting's
/// `(envelope)` is followed there: the channel count (1), then the keys in
/// either older form, then an optional `EndBehavior n` line.
bool readOlderEnvelope(LineCursor &lines, Envelope &envelope, double framesPerSecond);

/// The behaviour after the last key that `EndBehavior n` of the older forms
/// gives: 0 reset, 1 stop (and any other code), 2 repeat.
Behavior endBehavior(double code);

/// Reads a setting written either as `Keyword value` or as
/// `Keyword (envelope)` followed by an envelope block, of either form;
/// `lineWords` are the words of the keyword's line, already taken. Key frames
/// of the oldest form become times at `framesPerSecond`.
bool readSetting(LineCursor &lines, const std::vector<std::string_view> &lineWords,
                 Envelope &envelope, double framesPerSecond);

/// Reads an item's motion, the `...Motion` line already taken. Key frames of
/// the oldest form become times at `framesPerSecond`.
bool readMotion(LineCursor &lines, std::array<Envelope, channelCount> &motion,
                double framesPerSecond);

} // namespace brelvix::lightwave

#endif
