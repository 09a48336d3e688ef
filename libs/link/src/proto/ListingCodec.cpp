#include "ListingCodec.h"

#include "BlockCodec.h"
#include "ByteIO.h"
#include "Fnv1a.h"

#include <algorithm>

namespace vexo::link
{

namespace
{
size_t varintSize(uint64_t v)
{
    size_t n = 1;
    for (; v >= 0x80; v >>= 7)
        ++n;
    return n;
}

uint64_t zigzag(int64_t v)
{
    return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
}

// Whole seconds and the milliseconds past them: most files carry whole
// seconds, so the millisecond column is zeros and costs next to nothing.
int64_t floorSeconds(int64_t ms)
{
    return ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
}

// One block being filled, column by column. A block of changes has one
// more column, a bitmap of the names that are gone; those have no size or time.
struct Columns {
    explicit Columns(bool kinds) : withKinds(kinds) {}

    bool withKinds;
    std::vector<uint8_t> kinds, shared, suffixSizes, suffixes;
    ByteWriter sizes, steps, millis;
    size_t count = 0;
    std::string lastName;
    int64_t lastSeconds = 0;

    size_t bytes()
    {
        return varintSize(count) + kinds.size() + shared.size() + suffixSizes.size() + suffixes.size() +
               sizes.data().size() + steps.data().size() + millis.data().size();
    }
    std::vector<uint8_t> take()
    {
        ByteWriter w;
        w.varint(count);
        w.bytes(kinds.data(), kinds.size());
        w.bytes(shared.data(), shared.size());
        w.bytes(suffixSizes.data(), suffixSizes.size());
        w.bytes(suffixes.data(), suffixes.size());
        for (ByteWriter *c : {&sizes, &steps, &millis})
            w.bytes(c->data().data(), c->data().size());
        *this = Columns(withKinds);
        return w.take();
    }
};

size_t sharedPrefix(const std::string &a, const std::string &b)
{
    const size_t most = std::min({a.size(), b.size(), size_t{255}});
    size_t n = 0;
    while (n < most && a[n] == b[n])
        ++n;
    return n;
}

// entryAt(i) gives the i-th entry, gone(i) whether it is a removed name.
template <typename EntryAt, typename Gone>
std::vector<std::vector<uint8_t>> encodeColumns(size_t total, bool withKinds, EntryAt entryAt, Gone gone)
{
    std::vector<std::vector<uint8_t>> blocks;
    Columns c(withKinds);
    for (size_t i = 0; i < total; ++i) {
        const WireEntry &e = entryAt(i);
        const bool removed = gone(i);
        size_t shared = sharedPrefix(c.lastName, e.name);
        const int64_t seconds = floorSeconds(e.mtimeMs);
        auto cost = [&] {
            size_t n = 2 + e.name.size() - shared + varintSize(c.count + 1) - varintSize(c.count) +
                       (withKinds && c.count % 8 == 0 ? 1 : 0);
            if (!removed)
                n += varintSize(e.size) + varintSize(zigzag(seconds - c.lastSeconds)) +
                     varintSize(static_cast<uint64_t>(e.mtimeMs - seconds * 1000));
            return n;
        };
        if (c.count > 0 && c.bytes() + cost() > kMaxBlockSize) {
            blocks.push_back(c.take());
            shared = 0;
        }
        if (withKinds) {
            if (c.count % 8 == 0)
                c.kinds.push_back(0);
            if (removed)
                c.kinds.back() = static_cast<uint8_t>(c.kinds.back() | 1u << (c.count % 8));
        }
        c.shared.push_back(static_cast<uint8_t>(shared));
        c.suffixSizes.push_back(static_cast<uint8_t>(e.name.size() - shared));
        c.suffixes.insert(c.suffixes.end(), e.name.begin() + static_cast<std::ptrdiff_t>(shared),
                          e.name.end());
        c.lastName = e.name;
        ++c.count;
        if (removed)
            continue;
        c.sizes.varint(e.size);
        c.steps.svarint(seconds - c.lastSeconds);
        c.millis.varint(static_cast<uint64_t>(e.mtimeMs - seconds * 1000));
        c.lastSeconds = seconds;
    }
    if (c.count > 0 || blocks.empty())
        blocks.push_back(c.count > 0 ? c.take() : std::vector<uint8_t>{});
    return blocks;
}

// Restores one block into `out`, and with kinds which of them are gone.
bool decodeColumns(const std::vector<uint8_t> &block, bool withKinds, std::vector<WireEntry> &out,
                   std::vector<bool> &gone)
{
    ByteReader head(block);
    uint64_t count = 0;
    // Every entry takes at least five bytes, one in each column but the
    // suffixes; a removed name two and a bit.
    if (!head.varint(count) || count == 0 || count > head.remaining() / (withKinds ? 2 : 5))
        return false;
    const size_t n = static_cast<size_t>(count);
    const size_t kindBytes = withKinds ? (n + 7) / 8 : 0;
    if (kindBytes + 2 * n > head.remaining())
        return false;
    const uint8_t *kinds = block.data() + (block.size() - head.remaining());
    const uint8_t *shared = kinds + kindBytes;
    const uint8_t *suffixSizes = shared + n;
    const uint8_t *suffix = suffixSizes + n;
    const uint8_t *end = block.data() + block.size();
    gone.assign(n, false);
    if (withKinds) {
        for (size_t i = 0; i < n; ++i)
            gone[i] = (kinds[i / 8] >> (i % 8)) & 1;
        // Bits past the last entry are 0, so each block has one form only.
        if (n % 8 != 0 && (kinds[n / 8] >> (n % 8)) != 0)
            return false;
    }
    out.assign(n, WireEntry{});
    std::string last;
    for (size_t i = 0; i < n; ++i) {
        const size_t size = size_t{shared[i]} + suffixSizes[i];
        if (shared[i] > last.size() || size == 0 || size > 255 || suffixSizes[i] > end - suffix)
            return false;
        out[i].name.assign(last, 0, shared[i]);
        out[i].name.append(reinterpret_cast<const char *>(suffix), suffixSizes[i]);
        suffix += suffixSizes[i];
        last = out[i].name;
    }
    ByteReader r(suffix, static_cast<size_t>(end - suffix));
    for (size_t i = 0; i < n; ++i)
        if (!gone[i] && !r.varint(out[i].size))
            return false;
    int64_t seconds = 0;
    for (size_t i = 0; i < n; ++i) {
        int64_t step = 0;
        if (!gone[i] && (!r.svarint(step) || __builtin_add_overflow(seconds, step, &seconds) ||
                         __builtin_mul_overflow(seconds, 1000, &out[i].mtimeMs)))
            return false;
    }
    for (size_t i = 0; i < n; ++i) {
        uint64_t millis = 0;
        if (!gone[i] &&
            (!r.varint(millis) || millis >= 1000 ||
             __builtin_add_overflow(out[i].mtimeMs, static_cast<int64_t>(millis), &out[i].mtimeMs)))
            return false;
    }
    return r.remaining() == 0;
}
} // namespace

std::vector<std::vector<uint8_t>> encodeCompactListing(const std::vector<WireEntry> &entries)
{
    return encodeColumns(
        entries.size(), false, [&](size_t i) -> const WireEntry & { return entries[i]; },
        [](size_t) { return false; });
}

bool decodeCompactBlock(const std::vector<uint8_t> &block, std::vector<WireEntry> &entries)
{
    if (block.empty())
        return true;
    std::vector<WireEntry> out;
    std::vector<bool> gone;
    if (!decodeColumns(block, false, out, gone))
        return false;
    entries.insert(entries.end(), std::make_move_iterator(out.begin()), std::make_move_iterator(out.end()));
    return true;
}

std::vector<std::vector<uint8_t>> encodeChangeBlocks(const std::vector<ListingChange> &changes)
{
    return encodeColumns(
        changes.size(), true, [&](size_t i) -> const WireEntry & { return changes[i].entry; },
        [&](size_t i) { return changes[i].removed; });
}

bool decodeChangeBlock(const std::vector<uint8_t> &block, std::vector<ListingChange> &changes)
{
    changes.clear();
    if (block.empty())
        return true;
    std::vector<WireEntry> out;
    std::vector<bool> gone;
    if (!decodeColumns(block, true, out, gone))
        return false;
    changes.resize(out.size());
    for (size_t i = 0; i < out.size(); ++i)
        changes[i] = ListingChange{std::move(out[i]), gone[i]};
    return true;
}

uint64_t listingToken(const std::vector<WireEntry> &entries)
{
    // FNV-1a over every field, lengths included, so that no two listings
    // differing in any entry share a token but by a 64-bit accident.
    Fnv1a hash;
    uint8_t word[8];
    for (const auto &e : entries) {
        const uint8_t size = static_cast<uint8_t>(e.name.size());
        hash.add(&size, 1);
        hash.add(e.name.data(), e.name.size());
        putLe64(word, e.size);
        hash.add(word, 8);
        putLe64(word, static_cast<uint64_t>(e.mtimeMs));
        hash.add(word, 8);
    }
    putLe64(word, entries.size());
    hash.add(word, 8);
    const uint64_t h = hash.value();
    return h == 0 ? 1 : h;
}

} // namespace vexo::link
