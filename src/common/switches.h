// The two switches of a run that the environment operations take. Kept apart
// from all layers, as the front end sets them and the layers below act on
// them.
#pragma once

namespace qh {

// Which persistent environment an operation edits: -sys (the default) or
// -user.
enum class Scope { system, user };
// Where an added directory goes in a path list: -start (the default) or
// -end.
enum class Position { start, end };

}  // namespace qh
