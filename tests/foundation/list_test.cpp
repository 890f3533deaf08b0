#include "list.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Stands in for the interpreter's token: the queue operations only need an
// element with value semantics.
struct Tok {
    int kind = 0;
    std::string text;
};

bool operator==(const Tok& a, const Tok& b) { return a.kind == b.kind && a.text == b.text; }

using Texts = std::vector<std::string>;
using TokList = List<Tok>;

// Walks the list from its first node and checks the structural invariants on
// the way: Size() nodes are reachable, the last one is the tail (NodeAt
// answers Size()-1 from the tail without walking) and ends the chain.
template <class T, class F>
void Walk(const List<T>& list, F visit) {
    int n = 0;
    const ListNode<T>* last = nullptr;
    for (ListNode<T>* node = list.NodeAt(0); node != nullptr; node = node->next) {
        visit(node->value);
        last = node;
        ++n;
        ASSERT_LE(n, list.Size()) << "chain longer than the count";
    }
    ASSERT_EQ(n, list.Size());
    ASSERT_EQ(last, list.NodeAt(list.Size() - 1));
}

Texts Contents(const TokList& list) {
    Texts texts;
    Walk(list, [&](const Tok& t) { texts.push_back(t.text); });
    return texts;
}

Texts Contents(const List<std::string>& list) {
    Texts texts;
    Walk(list, [&](const std::string& s) { texts.push_back(s); });
    return texts;
}

TokList MakeTokens(const Texts& texts) {
    TokList list;
    for (const std::string& text : texts) {
        list.PushBack(Tok{1, text});
    }
    return list;
}

List<std::string> MakeStrings(const Texts& texts) {
    List<std::string> list("-");
    for (const std::string& text : texts) {
        list[list.Size()] = text;
    }
    return list;
}

const Texts kSeven = {"t0", "t1", "t2", "t3", "t4", "t5", "t6"};

// Frees nodes that a test detached from every list by marking their list
// borrowed; each is freed alone.
template <class T>
void FreeNodes(const std::vector<ListNode<T>*>& nodes) {
    for (ListNode<T>* node : nodes) {
        delete node;
    }
}

template <class T>
std::vector<ListNode<T>*> NodesOf(const List<T>& list) {
    std::vector<ListNode<T>*> nodes;
    for (ListNode<T>* node = list.NodeAt(0); node != nullptr; node = node->next) {
        nodes.push_back(node);
    }
    return nodes;
}

// ---------------------------------------------------------------- growing

TEST(ListGrowth, ReadingAtOrPastTheEndGrowsWithDefaults) {
    struct Case {
        Texts start;
        int index;
        Texts expected;
    };
    const Case cases[] = {
        {{}, 5, {"-", "-", "-", "-", "-", "-"}},
        {{"a", "b"}, 2, {"a", "b", "-"}},
        {{"a", "b"}, 4, {"a", "b", "-", "-", "-"}},
        {{"a", "b"}, 1, {"a", "b"}},
        {{"a", "b"}, 0, {"a", "b"}},
    };
    for (const Case& c : cases) {
        List<std::string> list = MakeStrings(c.start);
        const std::string read = list[c.index];
        EXPECT_EQ(read, c.expected[c.index]) << "index " << c.index;
        EXPECT_EQ(Contents(list), c.expected) << "index " << c.index;
    }
}

TEST(ListGrowth, WritingAtSizeAppendsAndGrownElementsAreIndependentCopies) {
    List<std::string> list("d");
    list[2] = "x";
    list[0] = "y";
    EXPECT_EQ(Contents(list), (Texts{"y", "d", "x"}));
    list[list.Size()] = "z";
    EXPECT_EQ(Contents(list), (Texts{"y", "d", "x", "z"}));
    // The default element itself is untouched by writes to grown elements.
    EXPECT_EQ(list[6], "d");
}

TEST(ListGrowth, AppendDefaultAndAppendReturnTheNewTail) {
    TokList list(Tok{7, "def"});
    ListNode<Tok>* first = list.AppendDefault();
    EXPECT_EQ(first->value, (Tok{7, "def"}));
    ListNode<Tok>* second = list.Append(Tok{2, "x"});
    EXPECT_EQ(second->value, (Tok{2, "x"}));
    EXPECT_EQ(list.NodeAt(0), first);
    EXPECT_EQ(list.NodeAt(1), second);
    EXPECT_EQ(first->next, second);
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(list.Count(), 2);
}

TEST(ListGrowth, DefaultConstructorUsesTheElementTypesDefault) {
    List<int> numbers;
    EXPECT_EQ(numbers[3], 0);
    EXPECT_EQ(numbers.Size(), 4);
    TokList tokens;
    EXPECT_EQ(tokens[0], Tok{});
}

// ---------------------------------------------------------------- NodeAt, Step

TEST(ListNodeAt, AnswersInRangeIndicesOnlyAndTheLastFromTheTail) {
    List<std::string> list = MakeStrings({"a", "b", "c"});
    EXPECT_EQ(list.NodeAt(0)->value, "a");
    EXPECT_EQ(list.NodeAt(1)->value, "b");
    ListNode<std::string>* last = list.NodeAt(2);
    EXPECT_EQ(last->value, "c");
    EXPECT_EQ(list.NodeAt(3), nullptr);
    EXPECT_EQ(list.NodeAt(-1), nullptr);
    // An append links after the node that was the tail.
    list[3] = "d";
    EXPECT_EQ(last->next, list.NodeAt(3));

    List<std::string> empty("-");
    EXPECT_EQ(empty.NodeAt(-1), nullptr);
    EXPECT_EQ(empty.NodeAt(0), nullptr);
}

TEST(ListNodeAt, StepWalksToTheEndAndNullStaysNull) {
    TokList list = MakeTokens({"a", "b"});
    ListNode<Tok>* node = list.NodeAt(0);
    list.Step(node);
    EXPECT_EQ(node, list.NodeAt(1));
    list.Step(node);
    EXPECT_EQ(node, nullptr);
    list.Step(node);
    EXPECT_EQ(node, nullptr);
}

// ---------------------------------------------------------------- Remove, Clear

TEST(ListRemove, RemovesInRangeIndicesAndKeepsTheTailRight) {
    struct Case {
        int index;
        Texts expected;
    };
    const Case cases[] = {
        {-1, {"a", "b", "c", "d"}}, {4, {"a", "b", "c", "d"}}, {0, {"b", "c", "d"}},
        {1, {"a", "c", "d"}},       {3, {"a", "b", "c"}},
    };
    for (const Case& c : cases) {
        List<std::string> list = MakeStrings({"a", "b", "c", "d"});
        list.Remove(c.index);
        EXPECT_EQ(Contents(list), c.expected) << "index " << c.index;
        // An append must land after the (possibly new) last element.
        list[list.Size()] = "z";
        Texts grown = c.expected;
        grown.push_back("z");
        EXPECT_EQ(Contents(list), grown) << "index " << c.index;
    }
}

TEST(ListRemove, RemovingTheOnlyElementEmptiesTheList) {
    List<std::string> list = MakeStrings({"a"});
    list.Remove(0);
    EXPECT_EQ(list.Size(), 0);
    EXPECT_EQ(list.NodeAt(0), nullptr);
    EXPECT_EQ(list.NodeAt(-1), nullptr);
    list[0] = "b";
    EXPECT_EQ(Contents(list), (Texts{"b"}));
}

TEST(ListClear, ClearEmptiesAndTheListIsUsableAgain) {
    List<std::string> list = MakeStrings({"a", "b", "c"});
    list.Clear();
    EXPECT_EQ(Contents(list), Texts{});
    list[1] = "x";
    EXPECT_EQ(Contents(list), (Texts{"-", "x"}));
}

TEST(ListClear, ClearOnABorrowedListFreesNoNode) {
    TokList list = MakeTokens({"a", "b", "c"});
    std::vector<ListNode<Tok>*> nodes = NodesOf(list);
    list.SetBorrowed();
    EXPECT_TRUE(list.IsBorrowed());
    list.Clear();
    EXPECT_EQ(list.Size(), 0);
    EXPECT_FALSE(list.IsBorrowed());
    EXPECT_EQ(list.NodeAt(0), nullptr);
    // The nodes are still alive (the address sanitizer would report a read of
    // freed memory here) and still chained.
    EXPECT_EQ(nodes[0]->value.text, "a");
    EXPECT_EQ(nodes[0]->next, nodes[1]);
    EXPECT_EQ(nodes[2]->value.text, "c");
    FreeNodes(nodes);
}

// ---------------------------------------------------------------- copying

TEST(ListCopy, CopyConstructionIsADeepCopyWithTheSameDefault) {
    List<std::string> source = MakeStrings({"a", "b"});
    List<std::string> copy(source);
    EXPECT_EQ(Contents(copy), (Texts{"a", "b"}));
    EXPECT_NE(copy.NodeAt(0), source.NodeAt(0));
    copy[0] = "changed";
    copy[3] = "grown";
    EXPECT_EQ(Contents(source), (Texts{"a", "b"}));
    EXPECT_EQ(Contents(copy), (Texts{"changed", "b", "-", "grown"}));
}

TEST(ListAssign, TakesTheSourcesElementsInNodesOfItsOwn) {
    struct Case {
        Texts target;
        Texts source;
    };
    const Case cases[] = {
        {{"x0", "x1", "x2", "x3", "x4"}, {"s0", "s1"}},
        {{"x0", "x1"}, {"s0", "s1", "s2", "s3"}},
        {{"x0", "x1", "x2"}, {}},
        {{}, {"s0", "s1", "s2"}},
        {{"x0"}, {"s0"}},
    };
    for (const Case& c : cases) {
        TokList target = MakeTokens(c.target);
        const TokList source = MakeTokens(c.source);
        target = source;
        EXPECT_EQ(Contents(target), c.source);
        EXPECT_EQ(Contents(source), c.source);
        std::vector<ListNode<Tok>*> mine = NodesOf(target);
        for (ListNode<Tok>* theirs : NodesOf(source)) {
            EXPECT_EQ(std::find(mine.begin(), mine.end(), theirs), mine.end()) << "shared node";
        }
        // The target keeps growing from its own last node.
        target.PushBack(Tok{1, "new"});
        Texts grown = c.source;
        grown.push_back("new");
        EXPECT_EQ(Contents(target), grown);
        EXPECT_EQ(Contents(source), c.source);
    }
}

TEST(ListAssign, AssigningAListToItselfChangesNothing) {
    TokList list = MakeTokens({"a", "b", "c"});
    std::vector<ListNode<Tok>*> before = NodesOf(list);
    const TokList& alias = list;
    list = alias;
    EXPECT_EQ(Contents(list), (Texts{"a", "b", "c"}));
    EXPECT_EQ(NodesOf(list), before);
}

// ---------------------------------------------------------------- MoveRange, SplitAt

TEST(ListMoveRange, MovesTheRangesNodesIntoOut) {
    struct Case {
        int start;
        int end;
        Texts out;
        Texts rest;
    };
    const Case cases[] = {
        {2, 5, {"t2", "t3", "t4"}, {"t0", "t1", "t5", "t6"}},
        {5, 2, {"t2", "t3", "t4"}, {"t0", "t1", "t5", "t6"}},
        {0, 6, {"t0", "t1", "t2", "t3", "t4", "t5"}, {"t6"}},
        {0, 1, {"t0"}, {"t1", "t2", "t3", "t4", "t5", "t6"}},
        {5, 6, {"t5"}, {"t0", "t1", "t2", "t3", "t4", "t6"}},
        {0, 7, {}, kSeven},  // would move the last element
        {6, 7, {}, kSeven},
        {3, 3, {}, kSeven},
        {-1, 2, {}, kSeven},
    };
    for (const Case& c : cases) {
        TokList list = MakeTokens(kSeven);
        TokList out = MakeTokens({"old"});
        std::vector<ListNode<Tok>*> before = NodesOf(list);
        list.MoveRange(out, c.start, c.end);
        EXPECT_EQ(Contents(out), c.out) << c.start << ".." << c.end;
        EXPECT_EQ(Contents(list), c.rest) << c.start << ".." << c.end;
        // No element was copied: out's nodes are the list's former nodes.
        for (ListNode<Tok>* node : NodesOf(out)) {
            EXPECT_NE(std::find(before.begin(), before.end(), node), before.end());
        }
        // Both lists stay well formed for appends.
        out.PushBack(Tok{1, "o"});
        list.PushBack(Tok{1, "l"});
        EXPECT_EQ(out.NodeAt(out.Size() - 1)->value.text, "o");
        EXPECT_EQ(list.NodeAt(list.Size() - 1)->value.text, "l");
        EXPECT_EQ(Contents(out).size(), c.out.size() + 1);
        EXPECT_EQ(Contents(list).size(), c.rest.size() + 1);
    }
}

TEST(ListSplitAt, MovesTheTailFromKIntoOut) {
    struct Case {
        int k;
        Texts out;
        Texts rest;
    };
    const Case cases[] = {
        {0, {"a", "b", "c"}, {}},
        {1, {"b", "c"}, {"a"}},
        {2, {"c"}, {"a", "b"}},
        {3, {}, {"a", "b", "c"}},
        {-1, {}, {"a", "b", "c"}},
    };
    for (const Case& c : cases) {
        TokList list = MakeTokens({"a", "b", "c"});
        TokList out = MakeTokens({"old1", "old2"});
        std::vector<ListNode<Tok>*> before = NodesOf(list);
        list.SplitAt(out, c.k);
        EXPECT_EQ(Contents(out), c.out) << "k " << c.k;
        EXPECT_EQ(Contents(list), c.rest) << "k " << c.k;
        EXPECT_FALSE(list.IsBorrowed());
        EXPECT_FALSE(out.IsBorrowed());
        for (ListNode<Tok>* node : NodesOf(out)) {
            EXPECT_NE(std::find(before.begin(), before.end(), node), before.end());
        }
        list.PushBack(Tok{1, "l"});
        out.PushBack(Tok{1, "o"});
        Texts rest = c.rest;
        rest.push_back("l");
        Texts moved = c.out;
        moved.push_back("o");
        EXPECT_EQ(Contents(list), rest) << "k " << c.k;
        EXPECT_EQ(Contents(out), moved) << "k " << c.k;
    }
}

// A borrowed list's nodes belong to another list: cutting it must work on a
// private copy and leave the owner's nodes alone.
TEST(ListBorrowed, MakePrivateCopiesTheElementsIntoNewNodes) {
    TokList list = MakeTokens({"a", "b", "c"});
    std::vector<ListNode<Tok>*> owned = NodesOf(list);
    list.SetBorrowed();
    list.MakePrivate();
    EXPECT_FALSE(list.IsBorrowed());
    EXPECT_EQ(Contents(list), (Texts{"a", "b", "c"}));
    for (ListNode<Tok>* node : NodesOf(list)) {
        EXPECT_EQ(std::find(owned.begin(), owned.end(), node), owned.end());
    }
    EXPECT_EQ(owned[1]->value.text, "b");
    FreeNodes(owned);

    std::vector<ListNode<Tok>*> before = NodesOf(list);
    list.MakePrivate();
    EXPECT_EQ(NodesOf(list), before);
}

TEST(ListBorrowed, CuttingABorrowedListLeavesTheOwnersNodesIntact) {
    for (int split = 0; split < 2; ++split) {
        TokList list = MakeTokens({"a", "b", "c", "d"});
        std::vector<ListNode<Tok>*> owned = NodesOf(list);
        list.SetBorrowed();
        TokList out;
        if (split) {
            list.SplitAt(out, 2);
        } else {
            list.MoveRange(out, 1, 3);
        }
        EXPECT_EQ(Contents(out), split ? (Texts{"c", "d"}) : (Texts{"b", "c"}));
        EXPECT_EQ(Contents(list), split ? (Texts{"a", "b"}) : (Texts{"a", "d"}));
        for (ListNode<Tok>* node : NodesOf(out)) {
            EXPECT_EQ(std::find(owned.begin(), owned.end(), node), owned.end());
        }
        // The owner's chain is untouched.
        for (size_t k = 0; k + 1 < owned.size(); ++k) {
            EXPECT_EQ(owned[k]->next, owned[k + 1]);
        }
        EXPECT_EQ(owned[3]->value.text, "d");
        FreeNodes(owned);
    }
}

// ---------------------------------------------------------------- queue operations

TEST(ListQueue, GetReadsInRangeElementsOnly) {
    const TokList list = MakeTokens({"a", "b"});
    struct Case {
        int index;
        int result;
        std::string text;
    };
    const Case cases[] = {{0, 0, "a"}, {1, 0, "b"}, {2, 1, "kept"}, {-1, 1, "kept"}};
    for (const Case& c : cases) {
        Tok out{9, "kept"};
        EXPECT_EQ(list.Get(out, c.index), c.result) << "index " << c.index;
        EXPECT_EQ(out.text, c.text) << "index " << c.index;
    }
    EXPECT_EQ(list.Size(), 2);
}

TEST(ListQueue, PushBackAndPopFrontAreFirstInFirstOut) {
    TokList queue;
    Tok out{9, "kept"};
    EXPECT_EQ(queue.PopFront(out), 1);
    EXPECT_EQ(out, (Tok{9, "kept"}));

    queue.PushBack(Tok{3, "x"});
    EXPECT_EQ(queue.PopFront(out), 0);
    EXPECT_EQ(out, (Tok{3, "x"}));
    EXPECT_EQ(queue.Count(), 0);
    EXPECT_EQ(queue.NodeAt(0), nullptr);

    queue.PushBack(Tok{1, "a"});
    queue.PushBack(Tok{2, "b"});
    EXPECT_EQ(queue.PopFront(out), 0);
    EXPECT_EQ(out.text, "a");
    queue.PushBack(Tok{3, "c"});
    EXPECT_EQ(Contents(queue), (Texts{"b", "c"}));
}

// ---------------------------------------------------------------- front and node memory

TEST(ListFront, IsTheFirstNodeOrNull) {
    TokList queue;
    EXPECT_EQ(queue.Front(), nullptr);
    queue = MakeTokens({"a", "b", "c"});
    ASSERT_NE(queue.Front(), nullptr);
    EXPECT_EQ(queue.Front(), queue.NodeAt(0));
    queue.Remove(0);
    EXPECT_EQ(queue.Front()->value.text, "b");
    TokList out;
    queue.SplitAt(out, 0);
    EXPECT_EQ(queue.Front(), nullptr);
    EXPECT_EQ(out.Front()->value.text, "b");
}

// Counts its live instances: an element must be destroyed when its node
// goes, whatever becomes of the node's memory.
struct Counted {
    static int alive;
    int id = 0;
    Counted() { ++alive; }
    explicit Counted(int id) : id(id) { ++alive; }
    Counted(const Counted& other) : id(other.id) { ++alive; }
    Counted& operator=(const Counted&) = default;
    ~Counted() { --alive; }
};
int Counted::alive = 0;

TEST(ListNodeMemory, ElementsLiveExactlyAsLongAsTheirNodes) {
    {
        List<Counted> list{Counted(0)};
        const int base = Counted::alive;  // the default element
        for (int round = 0; round < 3; ++round) {
            for (int k = 0; k < 5000; ++k) {
                list[list.Size()] = Counted(k);
            }
            EXPECT_EQ(Counted::alive, base + 5000);
            list.Remove(0);
            list.Remove(list.Size() - 1);
            EXPECT_EQ(Counted::alive, base + 4998);
            EXPECT_EQ(list[0].id, 1);
            EXPECT_EQ(list[list.Size() - 1].id, 4998);
            list.Clear();
            EXPECT_EQ(Counted::alive, base);
        }
        list[0] = Counted(9);
        EXPECT_EQ(list[0].id, 9);
    }
    EXPECT_EQ(Counted::alive, 0);
}

// ---------------------------------------------------------------- long lists

TEST(ListLong, AMillionElementsAreFreedWithoutExhaustingTheStack) {
    const int n = 1000000;
    {
        List<int> list(0);
        for (int k = 0; k < n; ++k) {
            list[k] = k;
        }
        EXPECT_EQ(list.Size(), n);
        EXPECT_EQ(list[n - 1], n - 1);
        List<int> copy(list);
        EXPECT_EQ(copy[n - 1], n - 1);
        list.Clear();
        EXPECT_EQ(list.Size(), 0);
    }  // copy destroyed here
    TokList queue;
    for (int k = 0; k < n; ++k) {
        queue.PushBack(Tok{k, ""});
    }
    TokList tail;
    queue.SplitAt(tail, n / 2);
    EXPECT_EQ(tail.Count(), n - n / 2);
}

}  // namespace
