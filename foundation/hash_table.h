#ifndef VARNEL_FOUNDATION_HASH_TABLE_H
#define VARNEL_FOUNDATION_HASH_TABLE_H

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "list.h"

// Names are handled as zero-terminated character strings whose characters
// count as signed 8-bit values: both functions stop at the first NUL. Both
// are inline: the interpreter looks names up for nearly every token.

// The sum of the key's characters; 0 for "".
inline int stringHash(const std::string& key) {
    int sum = 0;
    for (const char* p = key.c_str(); *p != '\0'; ++p) {
        sum += static_cast<signed char>(*p);
    }
    return sum;
}

// Negative, 0 or positive as a sorts before, with or after b: the difference
// of the first differing characters. This is the one order of names (the
// workspace listings, export and the builder all sort by it); the blank sorts
// before digits, upper case before '_' before lower case.
inline int compareNames(const std::string& a, const std::string& b) {
    const char* p = a.c_str();
    const char* q = b.c_str();
    while (*p != '\0' && *p == *q) {
        ++p;
        ++q;
    }
    return static_cast<signed char>(*p) - static_cast<signed char>(*q);
}

template <class T>
struct HashEntry {
    std::string key;
    T value{};
};

struct BucketIndex {
    int bucket;
    int index;  // position in the bucket's list, -1 when the key is absent
};

// String-keyed table of the workspace: 24 buckets, each a list of entries in
// the order of their insertion. Storing a value uses T's assignment.
//
// The table counts the changes of its key set (Generation): whoever
// remembers what a lookup found (whether a name is a key, where its value
// lives) may go on using it as long as the count has not moved. Insert and
// Remove of a key and Clear move it; changing a stored value in place does
// not, and a value stays at its address until its key is removed.
template <class T>
class HashTable {
public:
    static constexpr int kBuckets = 24;

    HashTable() = default;
    // A table is never replaced as a whole: its generation would not tell
    // that every key may have changed.
    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;

    // Every key maps to one bucket in 0..23; keys with bytes of 0x80 or more
    // can have a negative sum, which is taken to its non-negative residue.
    static int BucketOf(const std::string& key) {
        return (stringHash(key) % kBuckets + kBuckets) % kBuckets;
    }

    BucketIndex Find(const std::string& key) const {
        BucketIndex where{BucketOf(key), -1};
        EntryNode(key, where);
        return where;
    }

    // The value stored under key, to read or change in place. Callers look up
    // only keys they know to be present; an absent key is a caller bug and
    // gets a default-valued scratch object that the table does not hold.
    T& Lookup(const std::string& key) {
        T* value = Get(key);
        if (value == nullptr) {
            absent = T();
            return absent;
        }
        return *value;
    }

    // The value stored under key, or null when key is absent. The address
    // holds at least as long as the generation does not move.
    T* Get(const std::string& key) {
        BucketIndex where{BucketOf(key), -1};
        Node* node = EntryNode(key, where);
        return node != nullptr ? &node->value.value : nullptr;
    }

    // Adds (key, value) when key is absent and returns 0; returns 1 and keeps
    // the stored value when key is present.
    int Insert(const std::string& key, const T& value) {
        BucketIndex where = Find(key);
        if (where.index >= 0) {
            return 1;
        }
        HashEntry<T>& entry = buckets[where.bucket].AppendDefault()->value;
        entry.key = key;
        entry.value = value;
        ++count;
        ++generation;
        return 0;
    }

    // Removes key's entry and returns 0; returns 1 when key is absent.
    int Remove(const std::string& key) {
        BucketIndex where = Find(key);
        if (where.index < 0) {
            return 1;
        }
        buckets[where.bucket].Remove(where.index);
        --count;
        ++generation;
        return 0;
    }

    void Clear() {
        count = 0;
        ++generation;
        for (List<HashEntry<T>>& bucket : buckets) {
            bucket.Clear();
        }
    }

    int Count() const { return count; }

    // The number of changes of the key set so far; it only grows.
    std::uint64_t Generation() const { return generation; }

    // All keys, gathered bucket by bucket from 0 to 23 in list order and,
    // when sort is nonzero, sorted by compareNames. Empty for an empty table.
    std::vector<std::string> SortedKeys(int sort) const {
        std::vector<std::string> keys;
        keys.reserve(count);
        for (const List<HashEntry<T>>& bucket : buckets) {
            for (Node* node = bucket.NodeAt(0); node != nullptr; node = node->next) {
                keys.push_back(node->value.key);
            }
        }
        if (sort) {
            std::sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
                return compareNames(a, b) < 0;
            });
        }
        return keys;
    }

private:
    using Node = ListNode<HashEntry<T>>;

    // Walks where.bucket for key; sets where.index and returns the entry's
    // node, or null when the key is absent.
    Node* EntryNode(const std::string& key, BucketIndex& where) const {
        if (count == 0) {
            return nullptr;
        }
        int position = 0;
        for (Node* node = buckets[where.bucket].NodeAt(0); node != nullptr; node = node->next) {
            if (compareNames(node->value.key, key) == 0) {
                where.index = position;
                return node;
            }
            ++position;
        }
        return nullptr;
    }

    List<HashEntry<T>> buckets[kBuckets];
    int count = 0;
    std::uint64_t generation = 0;
    T absent{};
};

#endif
