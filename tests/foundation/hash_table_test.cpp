#include "hash_table.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Keys = std::vector<std::string>;

// ---------------------------------------------------------------- free functions

TEST(StringHash, SumsTheCharactersAsSignedBytes) {
    struct Case {
        std::string key;
        int sum;
    };
    const Case cases[] = {
        {"", 0},        {"Z", 90},          {"ab", 195},           {"ba", 195},
        {"\x80", -128}, {"a\xff", 97 - 1},  {"\xe9t", -23 + 116},  {"\x80\x80", -256},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(stringHash(c.key), c.sum) << c.key;
    }
}

TEST(CompareNames, GivesTheDifferenceOfTheFirstDifferingSignedCharacters) {
    struct Case {
        std::string a;
        std::string b;
        int result;
    };
    const Case cases[] = {
        {"ab", "ab", 0},
        {"", "", 0},
        {"a", "c", 'a' - 'c'},
        {"c", "a", 'c' - 'a'},
        {"a", "ab", -'b'},  // a prefix sorts first
        {"ab", "a", 'b'},
        {"B", "_x", 'B' - '_'},   // upper case before underscore
        {"_x", "a1", '_' - 'a'},  // underscore before lower case
        {" Affine Variable", "A", ' ' - 'A'},
        {"x1", "xA", '1' - 'A'},
        {"\x80", "A", -128 - 'A'},  // bytes of 0x80 or more before everything
        {"\xff", "\x80", -1 - -128},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compareNames(c.a, c.b), c.result) << '"' << c.a << "\" vs \"" << c.b << '"';
    }
}

// ---------------------------------------------------------------- buckets

TEST(HashTableBuckets, BucketIsTheSumModulo24InRangeForEveryKey) {
    struct Case {
        std::string key;
        int bucket;
    };
    // For negative sums the bucket is the non-negative residue modulo 24.
    const Case cases[] = {
        {"", 0},     {"x", 0},     {"a", 1},      {"ab", 3},          {"ba", 3},
        {"c", 3},    {"\xff", 23}, {"\x80", 16},  {"\x80\x80", 8},    {"\xe8", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HashTable<int>::BucketOf(c.key), c.bucket) << c.key;
    }
}

TEST(HashTableBuckets, KeysSharingABucketStayInInsertionOrder) {
    HashTable<int> table;
    ASSERT_EQ(table.Insert("ba", 1), 0);
    ASSERT_EQ(table.Insert("ab", 2), 0);
    ASSERT_EQ(table.Insert("c", 3), 0);
    EXPECT_EQ(table.Count(), 3);
    struct Case {
        std::string key;
        int index;
        int value;
    };
    const Case cases[] = {{"ba", 0, 1}, {"ab", 1, 2}, {"c", 2, 3}};
    for (const Case& c : cases) {
        BucketIndex where = table.Find(c.key);
        EXPECT_EQ(where.bucket, 3) << c.key;
        EXPECT_EQ(where.index, c.index) << c.key;
        EXPECT_EQ(table.Lookup(c.key), c.value) << c.key;
    }
    // Removing the middle entry keeps the others in order.
    EXPECT_EQ(table.Remove("ab"), 0);
    EXPECT_EQ(table.Find("ba").index, 0);
    EXPECT_EQ(table.Find("c").index, 1);
    EXPECT_EQ(table.Find("ab").index, -1);
    EXPECT_EQ(table.Count(), 2);
}

TEST(HashTableBuckets, KeysWithHighBytesAreStoredAndFoundAgain) {
    HashTable<int> table;
    const Keys keys = {"\x80", "\xff", "\x80\x80", "n\xe9g", "\xe8"};
    for (size_t k = 0; k < keys.size(); ++k) {
        EXPECT_EQ(table.Insert(keys[k], static_cast<int>(k)), 0);
    }
    for (size_t k = 0; k < keys.size(); ++k) {
        BucketIndex where = table.Find(keys[k]);
        EXPECT_GE(where.bucket, 0);
        EXPECT_LT(where.bucket, 24);
        EXPECT_EQ(where.bucket, table.Find(keys[k]).bucket);
        EXPECT_GE(where.index, 0);
        EXPECT_EQ(table.Lookup(keys[k]), static_cast<int>(k));
    }
    EXPECT_EQ(table.Remove("\xff"), 0);
    EXPECT_EQ(table.Find("\xff").index, -1);
    EXPECT_EQ(table.Count(), 4);
}

// ---------------------------------------------------------------- operations

TEST(HashTableOps, FindOnAnEmptyTableGivesTheBucketAndNoIndex) {
    HashTable<int> table;
    BucketIndex where = table.Find("ab");
    EXPECT_EQ(where.bucket, 3);
    EXPECT_EQ(where.index, -1);
}

TEST(HashTableOps, InsertOnlyAddsAbsentKeys) {
    HashTable<std::string> table;
    EXPECT_EQ(table.Insert("k", "first"), 0);
    EXPECT_EQ(table.Insert("k", "second"), 1);
    EXPECT_EQ(table.Lookup("k"), "first");
    EXPECT_EQ(table.Count(), 1);
}

TEST(HashTableOps, RemoveOfAnAbsentKeyChangesNothing) {
    HashTable<int> table;
    EXPECT_EQ(table.Remove("k"), 1);
    table.Insert("k", 1);
    EXPECT_EQ(table.Remove("ab"), 1);
    EXPECT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Remove("k"), 0);
    EXPECT_EQ(table.Remove("k"), 1);
    EXPECT_EQ(table.Count(), 0);
}

TEST(HashTableOps, LookupChangesTheStoredValueInPlace) {
    HashTable<std::string> table;
    table.Insert("x", "old");
    table.Lookup("x") += "er";
    EXPECT_EQ(table.Lookup("x"), "older");
}

TEST(HashTableOps, LookupOfAnAbsentKeyAddsNothing) {
    HashTable<int> table;
    table.Insert("a", 5);
    table.Lookup("zz") = 9;
    EXPECT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Find("zz").index, -1);
    EXPECT_EQ(table.Lookup("zz"), 0);
    EXPECT_EQ(table.Lookup("a"), 5);
}

TEST(HashTableOps, ClearForgetsEveryKeyAndTheTableFillsAgain) {
    HashTable<int> table;
    const Keys keys = {"a", "ab", "ba", "x", "eps"};
    for (const std::string& key : keys) {
        table.Insert(key, 1);
    }
    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_TRUE(table.SortedKeys(1).empty());
    for (const std::string& key : keys) {
        EXPECT_EQ(table.Find(key).index, -1) << key;
    }
    table.Insert("ba", 2);
    table.Insert("ab", 3);
    EXPECT_EQ(table.Count(), 2);
    EXPECT_EQ(table.Find("ba").index, 0);
    EXPECT_EQ(table.Find("ab").index, 1);
    EXPECT_EQ(table.Lookup("ab"), 3);
}

TEST(HashTableOps, GetGivesTheStoredValueWhereItStaysWhileItsKeyDoes) {
    HashTable<int> table;
    EXPECT_EQ(table.Get("ab"), nullptr);
    table.Insert("ab", 1);
    int* ab = table.Get("ab");
    ASSERT_NE(ab, nullptr);
    EXPECT_EQ(*ab, 1);
    // ba shares the bucket of ab; other keys come and go around it.
    for (const char* key : {"ba", "c", "x"}) {
        table.Insert(key, 2);
    }
    table.Remove("ba");
    EXPECT_EQ(table.Get("ab"), ab);
    *ab = 7;
    EXPECT_EQ(table.Lookup("ab"), 7);
    EXPECT_EQ(table.Get("ba"), nullptr);
}

// ---------------------------------------------------------------- generation

// A lookup remembered at one generation holds as long as the generation does:
// it moves (upward) with every change of the key set, and only then.
TEST(HashTableGeneration, MovesWithEveryChangeOfTheKeySetAndOnlyThen) {
    HashTable<int> table;
    std::uint64_t seen = table.Generation();
    auto moved = [&]() {
        const std::uint64_t now = table.Generation();
        EXPECT_GE(now, seen);
        const bool changed = now != seen;
        seen = now;
        return changed;
    };
    EXPECT_EQ(table.Insert("a", 1), 0);
    EXPECT_TRUE(moved());
    EXPECT_EQ(table.Insert("ab", 1), 0);
    EXPECT_TRUE(moved());
    EXPECT_EQ(table.Insert("a", 2), 1);
    EXPECT_FALSE(moved());
    table.Lookup("a") = 3;
    *table.Get("ab") = 4;
    table.Lookup("zz");
    table.Find("a");
    table.SortedKeys(1);
    EXPECT_FALSE(moved());
    EXPECT_EQ(table.Remove("zz"), 1);
    EXPECT_FALSE(moved());
    EXPECT_EQ(table.Remove("a"), 0);
    EXPECT_TRUE(moved());
    table.Clear();
    EXPECT_TRUE(moved());
}

// ---------------------------------------------------------------- sorted keys

TEST(HashTableSortedKeys, EmptyTableGivesNoKeys) {
    HashTable<int> table;
    EXPECT_TRUE(table.SortedKeys(1).empty());
    EXPECT_TRUE(table.SortedKeys(0).empty());
}

TEST(HashTableSortedKeys, SortsByCompareNames) {
    struct Case {
        Keys inserted;
        Keys sorted;
    };
    const Case cases[] = {
        {{"b", "B", "a1", "_x"}, {"B", "_x", "a1", "b"}},
        {{"x", "eps", " Affine Variable", "A", "_a"}, {" Affine Variable", "A", "_a", "eps", "x"}},
        {{"ab", "a", "abc", "a0"}, {"a", "a0", "ab", "abc"}},
    };
    for (const Case& c : cases) {
        HashTable<int> table;
        for (const std::string& key : c.inserted) {
            table.Insert(key, 0);
        }
        EXPECT_EQ(table.SortedKeys(1), c.sorted);
    }
}

TEST(HashTableSortedKeys, UnsortedKeysComeBucketByBucketInListOrder) {
    HashTable<int> table;
    // Buckets: x 0, a 1, b 2, ba and ab 3 (in this insertion order).
    for (const char* key : {"ba", "b", "ab", "x", "a"}) {
        table.Insert(key, 0);
    }
    EXPECT_EQ(table.SortedKeys(0), (Keys{"x", "a", "b", "ba", "ab"}));
}

// Many keys per bucket, against a naive reference: a set of the keys ordered
// by comparing their characters as signed bytes.
TEST(HashTableSortedKeys, ManyKeysAgreeWithAReferenceSet) {
    auto signedLess = [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return static_cast<signed char>(x) <
                                                       static_cast<signed char>(y);
                                            });
    };
    std::set<std::string, decltype(signedLess)> reference(signedLess);
    HashTable<int> table;
    for (int k = 0; k < 600; ++k) {
        std::string key = (k % 3 == 0 ? "v" : k % 3 == 1 ? "P_" : "_") + std::to_string(k * 7919 % 1000);
        const bool absent = reference.insert(key).second;
        EXPECT_EQ(table.Insert(key, k), absent ? 0 : 1) << key;
    }
    for (int k = 0; k < 1000; k += 3) {
        const std::string key = "v" + std::to_string(k);
        EXPECT_EQ(table.Remove(key), reference.erase(key) == 1 ? 0 : 1) << key;
    }
    EXPECT_EQ(table.Count(), static_cast<int>(reference.size()));
    EXPECT_EQ(table.SortedKeys(1), Keys(reference.begin(), reference.end()));
    for (const std::string& key : reference) {
        EXPECT_GE(table.Find(key).index, 0) << key;
    }
}

}  // namespace
