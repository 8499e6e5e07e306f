// The run's order.
#include "batch/runorder.h"

#include <QHash>
#include <QMultiHash>

#include <algorithm>
#include <utility>

#include "batch/samefile.h"

namespace batch {

namespace {

bool Share(const QStringList& a, const QStringList& b)
{
    return std::any_of(a.cbegin(), a.cend(), [&b](const QString& key) { return b.contains(key); });
}

}  // namespace

ItemKeys KeysOf(const std::vector<PlanItem>& items, NameCase nameCase)
{
    FileKeys keys(nameCase);
    ItemKeys of;
    of.Read.resize(items.size());
    of.Written.resize(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].Skip)
            continue;
        of.Read[i] = keys.Read(items[i].Source);
        of.Written[i] = keys.Written(items[i].Output);
        for (const QString& output : items[i].MoreOutputs)
            of.Written[i] += keys.Written(output);
    }
    return of;
}

std::vector<int> PutInPlaceOrder(const std::vector<PlanItem>& items, const ItemKeys& keys)
{
    const int count = static_cast<int>(items.size());
    QMultiHash<QString, int> readers;
    for (int i = 0; i < count; ++i)
        for (const QString& key : keys.Read[static_cast<std::size_t>(i)])
            readers.insert(key, i);
    // For each item, the later items to come before it.
    std::vector<std::vector<int>> before(items.size());
    for (int i = 0; i < count && !readers.isEmpty(); ++i) {
        const QStringList& written = keys.Written[static_cast<std::size_t>(i)];
        std::vector<int>& first = before[static_cast<std::size_t>(i)];
        for (const QString& key : written)
            for (const int reader : readers.values(key))
                if (reader > i && !Share(keys.Written[static_cast<std::size_t>(reader)], written))
                    first.push_back(reader);
        std::sort(first.begin(), first.end());
        first.erase(std::unique(first.begin(), first.end()), first.end());
    }
    // Depth first, each item after those to come before it; without
    // recursion, as a chain may be long.
    enum Mark : char { Unplaced, Placing, Placed };
    std::vector<Mark> marks(items.size(), Unplaced);
    std::vector<int> order;
    order.reserve(items.size());
    std::vector<std::pair<int, std::size_t>> stack;
    for (int first = 0; first < count; ++first) {
        if (marks[static_cast<std::size_t>(first)] != Unplaced)
            continue;
        marks[static_cast<std::size_t>(first)] = Placing;
        stack.push_back({first, 0});
        while (!stack.empty()) {
            auto& [item, next] = stack.back();
            const std::vector<int>& pending = before[static_cast<std::size_t>(item)];
            if (next < pending.size()) {
                const int reader = pending[next++];
                if (marks[static_cast<std::size_t>(reader)] == Unplaced) {
                    marks[static_cast<std::size_t>(reader)] = Placing;
                    stack.push_back({reader, 0});
                }
                continue;
            }
            marks[static_cast<std::size_t>(item)] = Placed;
            order.push_back(item);
            stack.pop_back();
        }
    }
    return order;
}

std::vector<int> ReadsOutputOf(const std::vector<int>& order, const ItemKeys& keys)
{
    std::vector<int> reads(order.size(), -1);
    QHash<QString, int> writer;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto planned = static_cast<std::size_t>(order[i]);
        for (const QString& key : keys.Read[planned])
            reads[i] = std::max(reads[i], writer.value(key, -1));
        for (const QString& key : keys.Written[planned])
            writer.insert(key, static_cast<int>(i));
    }
    return reads;
}

std::vector<int> TakeOrderOf(const std::vector<std::uintmax_t>& sizes)
{
    std::vector<int> order(sizes.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    if (order.size() < 3)
        return order;
    std::vector<std::uintmax_t> sorted = sizes;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const std::uintmax_t median = sorted[sorted.size() / 2];
    const auto large = [&](int i) {
        return median > 0 && sizes[static_cast<std::size_t>(i)] / 2 >= median;
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const bool largeA = large(a), largeB = large(b);
        if (largeA != largeB)
            return largeA;
        return largeA && sizes[static_cast<std::size_t>(a)] > sizes[static_cast<std::size_t>(b)];
    });
    return order;
}

}  // namespace batch
