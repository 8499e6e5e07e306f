// The order a run works in, worked out before any thread starts and apart
// from them: the order the items' files are put in place, which item reads a
// file an earlier one writes, and the order the run's last items are taken in.
#pragma once

#include <QStringList>
#include <cstdint>
#include <vector>

#include "batch/engine.h"

namespace batch {

// The run's last this many items may be taken in another order than the
// plan's (no more than the window's reach beyond the workers, so all of them
// can be taken at once).
constexpr int kTakeGroup = 16;

// What each item reads and writes, as FileKeys tells: empty for a skipped item.
struct ItemKeys {
    std::vector<QStringList> Read;
    std::vector<QStringList> Written;
};

ItemKeys KeysOf(const std::vector<PlanItem>& items, NameCase nameCase);

// The order the items are put in place: the plan's, except that an item
// reading a file another item writes comes before it (and so on, for a chain
// of them: x.jpg writes x_s.jpg, which writes x_s_s.jpg), so that it reads
// the file as it was before the run. An item that writes the very file it
// would be moved past stays where it is, as does a ring of items.
std::vector<int> PutInPlaceOrder(const std::vector<PlanItem>& items, const ItemKeys& keys);

// For each item of the put-in-place order (Order holds their indexes in the
// plan), the last earlier item in that order that writes a file it reads, or
// -1 (as it is wherever the order put the reader first).
std::vector<int> ReadsOutputOf(const std::vector<int>& order, const ItemKeys& keys);

// The order to take the last items in, given their files' sizes (0 when
// unknown): those at least twice the group's median size first, the largest
// first, then the rest in their order. Files of about one size keep their
// order, so the run's progress moves steadily.
std::vector<int> TakeOrderOf(const std::vector<std::uintmax_t>& sizes);

}  // namespace batch
