#ifndef SHAREDBLOCKS_H
#define SHAREDBLOCKS_H

#include "bounds.h"
#include "teskformat.h"

#include <QHash>
#include <QPair>

// Slicers point the table entries of identical layers at one block, not
// always neighbours. What either program makes of a block (an encoded record,
// a layer's islands, a picture) is kept here for the entries that come back to
// it, while the kept results take no more than their budget; once it is
// spent, later results are made again each time they are needed.
template <typename Key, typename Value>
class SharedBlocks {
public:
    explicit SharedBlocks(qint64 budgetBytes = bounds::kMaxSharedBlockBytes)
        : budget(budgetBytes)
    {
    }

    // The result kept for `key`, or null.
    const Value* find(const Key& key) const
    {
        const auto it = kept.constFind(key);
        return it == kept.constEnd() ? nullptr : &it.value();
    }

    // Whether a result of `bytes` would still be kept.
    bool fits(qint64 bytes) const { return bytes <= budget - used; }

    // Keeps `value`, which takes `bytes`, unless that would pass the budget.
    void keep(const Key& key, const Value& value, qint64 bytes)
    {
        if (!fits(bytes) || kept.contains(key))
            return;
        used += bytes;
        kept.insert(key, value);
    }

private:
    const qint64 budget;
    qint64 used = 0;
    QHash<Key, Value> kept;
};

// Where a table entry's block lies: entries with the same key read the same bytes.
using BlockKey = QPair<qint64, qint32>;

inline BlockKey blockKey(const TeskDatHead_t& entry)
{
    return BlockKey(entry.dataPosition(), entry.dataSize);
}

#endif
