// The two generations' readers behind readObject: each takes the FORM's
// body (after the type) and fills the object, throwing a Fault.
#ifndef BRELVIX_TOOLS_LWO_READERS_H
#define BRELVIX_TOOLS_LWO_READERS_H

#include "tools/lwo/cursor.h"
#include "tools/lwo/object.h"

#include <map>
#include <string>
#include <vector>

namespace brelvix::lwo {

/// LWO2 and LWO3 (`object.generation` says which).
void readLwo2(Cursor &body, Object &object);

/// LWOB.
void readLwob(Cursor &body, Object &object);

/// A surface's attributes from its sub-chunks; the generations differ in
/// the numbers' forms, told by `object.generation`.
void readSurfaceAttribute(const std::string &id, Cursor &data, Generation generation,
                          Surface &surface, std::uint16_t &lwobFlags);

/// Sets the object's surfaces, one a name of `names` in turn with the
/// attributes `read` holds for it (the defaults where it holds none), and a
/// "Default" surface after them for the polygons whose surface is none of
/// them.
void nameSurfaces(Object &object, std::vector<std::string> names,
                  const std::map<std::string, Surface> &read);

/// A polygon's point indices checked against the points read so far.
[[noreturn]] void failPointIndex(const Cursor &c, std::size_t at, std::size_t polygon,
                                 std::uint32_t index, std::size_t points);

} // namespace brelvix::lwo

#endif
