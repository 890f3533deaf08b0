#ifndef VARNEL_FOUNDATION_HASH_TABLE_H
#define VARNEL_FOUNDATION_HASH_TABLE_H

#include <algorithm>
#include <string>
#include <vector>

#include "list.h"

// Names are handled as zero-terminated character strings whose characters
// count as signed 8-bit values: both functions stop at the first NUL.

// The sum of the key's characters; 0 for "".
int stringHash(const std::string& key);

// Negative, 0 or positive as a sorts before, with or after b: the difference
// of the first differing characters. This is the one order of names (the
// workspace listings, export and the builder all sort by it); the blank sorts
// before digits, upper case before '_' before lower case.
int compareNames(const std::string& a, const std::string& b);

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
template <class T>
class HashTable {
public:
    static constexpr int kBuckets = 24;

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
        BucketIndex where{BucketOf(key), -1};
        Node* node = EntryNode(key, where);
        if (node == nullptr) {
            absent = T();
            return absent;
        }
        return node->value.value;
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
        return 0;
    }

    void Clear() {
        count = 0;
        for (List<HashEntry<T>>& bucket : buckets) {
            bucket.Clear();
        }
    }

    int Count() const { return count; }

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
    T absent{};
};

#endif
