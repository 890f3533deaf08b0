#ifndef VARNEL_FOUNDATION_LIST_H
#define VARNEL_FOUNDATION_LIST_H

#include <cstddef>
#include <new>
#include <utility>

// The one sequence container of the system: a singly linked list that owns
// its nodes and holds its elements by value. Every list carries a default
// element; indexing at or past the end grows the list with copies of it, so
// writing at index Size() appends.
//
// Storing an element default-constructs the node's value and then assigns
// the element to it, so what gets copied is decided by the element type's
// assignment (a Value shares its matrix, a string is copied, ...).
//
// The token queue also moves whole runs of nodes between lists (MoveRange,
// SplitAt) without copying an element. `borrowed` marks a list whose nodes
// belong to another list: Clear then unlinks them without freeing them.

template <class T>
class ListNode {
public:
    T value;
    ListNode* next;

    ListNode() : value(), next(nullptr) {}
    explicit ListNode(const T& x) : value(x), next(nullptr) {}

    // Destroys this node alone. Chains are freed by DestroyChain, in a loop,
    // so that a long list cannot exhaust the stack.
    ~ListNode() = default;

    ListNode(const ListNode&) = delete;
    ListNode& operator=(const ListNode&) = delete;

    // Nodes come and go at a high rate (a loop replays its body's tokens on
    // every pass, each taken token frees its node), so the memory of freed
    // nodes is kept for the next ones: up to kSpareLimit blocks per element
    // type. Values are constructed and destroyed as always; only the
    // allocation is saved.
    static void* operator new(std::size_t size) {
        static_assert(alignof(ListNode) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "spare blocks are plainly aligned");
        if (spare == nullptr) {
            return ::operator new(size);
        }
        Spare* block = spare;
        spare = block->next;
        --spareCount;
        return block;
    }
    static void operator delete(void* memory) noexcept {
        if (memory == nullptr) {
            return;
        }
        if (spareCount >= kSpareLimit) {
            ::operator delete(memory);
            return;
        }
        Spare* block = ::new (memory) Spare;
        block->next = spare;
        spare = block;
        ++spareCount;
    }

    // Links a new default-valued node directly after this one and returns it.
    ListNode* AppendNew() {
        ListNode* node = new ListNode();
        node->next = next;
        next = node;
        return node;
    }

    static void DestroyChain(ListNode* first) {
        while (first != nullptr) {
            ListNode* following = first->next;
            delete first;
            first = following;
        }
    }

private:
    struct Spare {
        Spare* next;
    };
    static constexpr int kSpareLimit = 4096;
    static inline Spare* spare = nullptr;
    static inline int spareCount = 0;
};

template <class T>
class List {
public:
    using Node = ListNode<T>;

    List() : List(T()) {}
    explicit List(const T& defaultElement)
        : head(nullptr), tail(nullptr), count(0), borrowed(0), defaultValue(defaultElement) {}

    // An independent deep copy: same default element, same elements.
    List(const List& other) : List(other.defaultValue) {
        for (Node* node = other.head; node != nullptr; node = node->next) {
            NewNode()->value = node->value;
        }
    }

    ~List() { Clear(); }

    // Makes this list hold other's elements in order, in nodes of its own.
    // The lengths are matched first (surplus elements go from the front),
    // then the elements are assigned pairwise.
    List& operator=(const List& other) {
        if (this == &other) {
            return *this;
        }
        if (other.count == 0) {
            Clear();
            return *this;
        }
        if (borrowed) {
            Clear();
        }
        while (count < other.count) {
            AppendDefault();
        }
        while (count > other.count) {
            Remove(0);
        }
        Node* mine = head;
        for (Node* theirs = other.head; theirs != nullptr; Step(theirs)) {
            mine->value = theirs->value;
            Step(mine);
        }
        return *this;
    }

    int Size() const { return count; }
    int Count() const { return count; }

    // The first node, null on an empty list: NodeAt(0) without its tests.
    Node* Front() const { return head; }

    // Node i, or null when i is outside 0..Size()-1. The last node is
    // answered from `tail`, so reading the last element costs no walk.
    Node* NodeAt(int i) const {
        if (i == count - 1) {
            return tail;
        }
        if (i < 0 || i >= count) {
            return nullptr;
        }
        Node* node = head;
        for (; i > 0; --i) {
            node = node->next;
        }
        return node;
    }

    // Element i (i >= 0). Reading or writing at or past the end first grows
    // the list to i + 1 elements with copies of the default element.
    T& operator[](int i) {
        if (i < count) {
            return NodeAt(i)->value;
        }
        while (count <= i) {
            AppendDefault();
        }
        return tail->value;
    }

    // Appends a copy of the default element; returns the new tail.
    Node* AppendDefault() {
        Node* node = NewNode();
        node->value = defaultValue;
        return node;
    }

    // Appends a copy of x; returns the new tail.
    Node* Append(const T& x) {
        Node* node = new Node(x);
        Link(node);
        return node;
    }

    // Advances a node pointer along its list; null stays null.
    static void Step(Node*& node) {
        if (node != nullptr) {
            node = node->next;
        }
    }

    int IsBorrowed() const { return borrowed; }
    void SetBorrowed() { borrowed = 1; }

    // Removes and frees element i; nothing happens when i is out of range.
    void Remove(int i) {
        if (i < 0 || i >= count) {
            return;
        }
        Node* gone;
        if (i == 0) {
            gone = head;
            head = gone->next;
            if (head == nullptr) {
                tail = nullptr;
                borrowed = 0;
            }
        } else {
            Node* before = NodeAt(i - 1);
            gone = before->next;
            before->next = gone->next;
            if (gone == tail) {
                tail = before;
            }
        }
        delete gone;
        --count;
    }

    // Empties the list. A borrowed list only forgets its nodes: they belong
    // to another list.
    void Clear() {
        if (!borrowed) {
            Node::DestroyChain(head);
        }
        head = nullptr;
        tail = nullptr;
        count = 0;
        borrowed = 0;
    }

    // Moves elements start..end-1 (bounds in either order) into out, nodes
    // and all; out is emptied first. Nothing moves when the range is empty,
    // starts before 0 or reaches the last element, so `tail` never changes.
    void MoveRange(List& out, int start, int end) {
        if (out.count != 0) {
            out.Clear();
        }
        if (borrowed) {
            MakePrivate();
        }
        if (start == end) {
            return;
        }
        if (end < start) {
            std::swap(start, end);
        }
        if (start < 0 || end >= count) {
            return;
        }
        Node* before = start > 0 ? NodeAt(start - 1) : nullptr;
        Node* first = before != nullptr ? before->next : head;
        Node* last = first;
        for (int k = start + 1; k < end; ++k) {
            last = last->next;
        }
        if (before != nullptr) {
            before->next = last->next;
        } else {
            head = last->next;
        }
        last->next = nullptr;
        out.Adopt(first, last, end - start);
        count -= end - start;
    }

    // Moves elements k..Size()-1 into out, nodes and all; out is emptied
    // first. Nothing moves when k is outside 0..Size()-1.
    void SplitAt(List& out, int k) {
        if (out.count != 0) {
            out.Clear();
        }
        if (k < 0 || k >= count) {
            return;
        }
        if (borrowed) {
            MakePrivate();
        }
        if (k > 0) {
            Node* before = NodeAt(k - 1);
            out.Adopt(before->next, tail, count - k);
            before->next = nullptr;
            tail = before;
            count = k;
        } else {
            out.Adopt(head, tail, count);
            SetBorrowed();
            Clear();
        }
    }

    // Replaces borrowed nodes by private copies of their elements.
    void MakePrivate() {
        if (!borrowed) {
            return;
        }
        int n = count;
        Node* node = head;
        Clear();
        for (; n > 0; --n) {
            Append(node->value);
            node = node->next;
        }
    }

    // Copies element i into out and returns 0; returns 1 (out unchanged)
    // when i is out of range.
    int Get(T& out, int i) const {
        if (i < 0 || i >= count) {
            return 1;
        }
        out = NodeAt(i)->value;
        return 0;
    }

    // Takes the first element into out and returns 0; 1 on an empty list.
    int PopFront(T& out) {
        if (count == 0) {
            return 1;
        }
        out = head->value;
        Remove(0);
        return 0;
    }

    void PushBack(const T& x) { (*this)[count] = x; }

private:
    // Links a new default-constructed node at the end.
    Node* NewNode() {
        if (tail == nullptr) {
            Link(new Node());
        } else {
            tail = tail->AppendNew();
            ++count;
        }
        return tail;
    }

    void Link(Node* node) {
        if (tail == nullptr) {
            head = node;
        } else {
            tail->next = node;
        }
        tail = node;
        ++count;
    }

    // Takes ownership of the chain first..last of n nodes (this list is empty).
    void Adopt(Node* first, Node* last, int n) {
        head = first;
        tail = last;
        count = n;
    }

    Node* head;
    Node* tail;
    int count;
    int borrowed;
    T defaultValue;
};

#endif
