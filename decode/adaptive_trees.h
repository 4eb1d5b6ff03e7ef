// The adaptive Huffman trees of -lh1- and -lh2-: the literal/length tree ("code
// tree") and lh2's position tree, both updated after every symbol they decode.
//
// State record. Both trees live in one set of node arrays, indexed by node number:
//   weight[n]  how often the symbols below node n were counted (16 bits; halved by
//              a rebuild before the root's count can pass 0x8000)
//   child[n]   v >= 1: internal node whose children are v (reached by bit 0) and
//              v - 1 (bit 1); v < 0: leaf of symbol ~v
//   parent[n]  the node above n (unused for the roots)
//   run[n]     id of the run holding n; 0 = none
// A run is a maximal stretch of consecutive nodes of equal weight. Per run id:
//   runLeader[r]  the run's lowest node: the one that moves up when one of its
//                 nodes is counted, so that weights stay ordered
// Run ids come from a stack, freeRuns[freeRunTop..] (ids 0 and 1 never go on it:
// 0 means "no run" and 1 is the run of the code tree's initial leaves).
// Per symbol:
//   leafOf[s]  the leaf of code symbol s, and of position symbol p at
//              kPositionSymbolBase + p
//
// Invariants: within a tree, weight[] never increases with the node number (the root
// is the tree's lowest node: 0 for the code tree, kPositionRoot for the position
// tree); parent[] and leafOf[] always agree with child[]; run[] of the node after a
// tree's last node is 0, so no run seems to go on past the tree.
#pragma once
#include <cstdint>

#include "decode/bit_input.h"

// Node numbers: the code tree of the largest alphabet (lh1, 314 symbols) takes nodes
// 0..626; node 627 stays out of both trees as its end marker; the position tree of
// the 8 KiB window (128 symbols, one per 64 bytes) takes 628..882; node 883 ends it.
constexpr int kLh1CodeSymbols = 314;
constexpr int kLh2PositionSymbols = (1 << 13) / 64;
constexpr int kPositionRoot = 2 * kLh1CodeSymbols - 1 + 1;
constexpr int kNodes = kPositionRoot + 2 * kLh2PositionSymbols - 1 + 1;
static_assert(kPositionRoot == 628 && kNodes == 884, "the node layout of both trees");
constexpr int kPositionSymbolBase = kLh1CodeSymbols;  // leafOf index of position symbol 0
// At most one run per node is alive at once, besides the reserved ids 0 and 1.
constexpr int kRunIds = kNodes + 2;

struct AdaptiveTrees {
    // --- nodes
    std::uint16_t weight[kNodes];
    std::int16_t child[kNodes];
    std::uint16_t parent[kNodes];
    std::uint16_t run[kNodes];
    // --- runs
    std::uint16_t runLeader[kRunIds];
    std::uint16_t freeRuns[kRunIds];
    int freeRunTop = 2;
    // --- symbols
    std::uint16_t leafOf[kPositionSymbolBase + kLh2PositionSymbols];

    // --- the code tree
    int codeSymbols = kLh1CodeSymbols;  // 314 for lh1, 286 for lh2
    unsigned escapeCode = 512;          // the symbol followed by 8 more bits (512: none)
    // --- lh2's position tree
    int lastPositionLeaf = kPositionRoot;  // its highest node
    std::uint16_t positionTotal = 0;       // symbols counted since its last rebuild
    std::uint32_t positionLimit = 8192;    // bytes the window holds
    std::uint32_t nextGrowth = 64;         // bytes produced before the next symbol joins

    // The stack cannot run dry or overflow for a consistent tree; the bounds only keep
    // damage from writing outside the arrays.
    std::uint16_t takeRun() {
        return freeRuns[freeRunTop < kRunIds - 1 ? freeRunTop++ : freeRunTop];
    }
    void releaseRun(std::uint16_t id) {
        if (freeRunTop > 2) freeRuns[--freeRunTop] = id;
    }

    // A balanced start: every symbol weight 1, symbol 0 at the highest node; nodes are
    // paired from the bottom up. `longestMatch` only decides the escape code: lh2's
    // last symbol (285) carries 8 more bits, lh1's alphabet already reaches its longest.
    void initCodeTree(int symbols, int longestMatch) {
        codeSymbols = symbols;
        escapeCode = symbols >= longestMatch + 254 ? 512u : static_cast<unsigned>(symbols - 1);
        for (int i = 0; i < kRunIds; ++i) freeRuns[i] = static_cast<std::uint16_t>(i);
        for (int n = 0; n < kNodes; ++n) run[n] = 0;
        const int lastNode = 2 * symbols - 2;
        for (int s = 0; s < symbols; ++s) {
            const int leaf = lastNode - s;
            weight[leaf] = 1;
            child[leaf] = static_cast<std::int16_t>(~s);
            leafOf[s] = static_cast<std::uint16_t>(leaf);
            run[leaf] = 1;
        }
        freeRunTop = 2;
        runLeader[1] = static_cast<std::uint16_t>(symbols - 1);
        for (int pair = lastNode, n = symbols - 2; n >= 0; --n, pair -= 2) {
            const unsigned sum = weight[pair] + weight[pair - 1];
            weight[n] = static_cast<std::uint16_t>(sum);
            child[n] = static_cast<std::int16_t>(pair);
            parent[pair] = parent[pair - 1] = static_cast<std::uint16_t>(n);
            run[n] = sum == weight[n + 1] ? run[n + 1] : takeRun();
            runLeader[run[n]] = static_cast<std::uint16_t>(n);
        }
    }

    // The position tree starts as a single leaf, symbol 0, at its root.
    void initPositionTree(unsigned windowBits) {
        weight[kPositionRoot] = 1;
        child[kPositionRoot] = static_cast<std::int16_t>(~kPositionSymbolBase);
        leafOf[kPositionSymbolBase] = kPositionRoot;
        run[kPositionRoot] = takeRun();
        runLeader[run[kPositionRoot]] = kPositionRoot;
        lastPositionLeaf = kPositionRoot;
        positionTotal = 0;
        // The arrays hold 128 symbols: never more, whatever window a caller names.
        positionLimit = windowBits < 13 ? 1u << windowBits : kLh2PositionSymbols * 64u;
        nextGrowth = 64;
    }

    // After child[node] changed: the parent links below it follow.
    void relinkChild(int node) {
        const int v = child[node];
        if (v >= 0) parent[v] = parent[v - 1] = static_cast<std::uint16_t>(node);
        else leafOf[~v] = static_cast<std::uint16_t>(node);
    }

    // Adds 1 to node's weight, keeping weights ordered: the node first trades places
    // (its subtree) with its run's leader, which then leaves the run one heavier.
    // Returns the node to raise next (the parent).
    int bump(int node) {
        const std::uint16_t id = run[node];
        const int leader = runLeader[id];
        if (leader != node) {
            const std::int16_t below = child[node];
            child[node] = child[leader];
            child[leader] = below;
            relinkChild(node);
            relinkChild(leader);
            node = leader;
        } else if (run[node + 1] != id) {
            // Alone in its run: the run goes, or merges with the heavier one above.
            ++weight[node];
            if (weight[node] == weight[node - 1]) {
                releaseRun(id);
                run[node] = run[node - 1];
            }
            return parent[node];
        }
        ++runLeader[id];  // the leader leaves its run
        ++weight[node];
        if (weight[node] == weight[node - 1]) {
            run[node] = run[node - 1];
        } else {
            const std::uint16_t fresh = takeRun();
            run[node] = fresh;
            runLeader[fresh] = static_cast<std::uint16_t>(node);
        }
        return parent[node];
    }

    // Halves the leaf weights of nodes first..end-1 (rounding up) and rebuilds them as
    // a Huffman tree in place: leaves are gathered at the bottom, then pairs are
    // summed from the top of the range down, each sum placed by weight.
    void rebuildTree(int first, int end) {
        int leaves = first;  // next free slot of the gathered leaves
        for (int n = first; n < end; ++n) {
            if (child[n] < 0) {
                weight[leaves] = static_cast<std::uint16_t>((weight[n] + 1) / 2);
                child[leaves] = child[n];
                ++leaves;
            }
            if (runLeader[run[n]] == n) releaseRun(run[n]);
        }
        int from = leaves - 1;             // the lightest leaf not yet placed
        int to = end - 1, pair = end - 2;  // the slot to fill; the pair to sum next
        while (to >= first) {
            while (to >= pair && from >= first) {
                weight[to] = weight[from];
                child[to] = child[from];
                --to;
                --from;
            }
            if (to < first) break;
            const unsigned sum = weight[pair] + weight[pair + 1];
            int heavier = first;  // leaves heavier than the sum stay above it
            while (heavier < to && sum < weight[heavier]) ++heavier;
            while (from >= heavier) {
                weight[to] = weight[from];
                child[to] = child[from];
                --to;
                --from;
            }
            weight[to] = static_cast<std::uint16_t>(sum);
            child[to] = static_cast<std::int16_t>(pair + 1);
            --to;
            pair -= 2;
        }
        unsigned runWeight = 0;
        std::uint16_t current = 0;
        for (int n = first; n < end; ++n) {
            relinkChild(n);
            if (weight[n] == runWeight) {
                run[n] = current;
            } else {
                current = takeRun();
                run[n] = current;
                runLeader[current] = static_cast<std::uint16_t>(n);
                runWeight = weight[n];
            }
        }
    }

    void countCode(unsigned symbol) {
        if (weight[0] == 0x8000) rebuildTree(0, 2 * codeSymbols - 1);
        ++weight[0];
        int node = leafOf[symbol];
        do node = bump(node);
        while (node != 0);
    }

    // Once split, the position root keeps the weight 0xFFFF: nothing below ever joins
    // its run and it is never raised; positionTotal counts for it instead.
    void countPosition(unsigned p) {
        if (positionTotal == 0x8000) {
            rebuildTree(kPositionRoot, lastPositionLeaf + 1);
            positionTotal = weight[kPositionRoot];
            weight[kPositionRoot] = 0xFFFF;
        }
        int node = leafOf[kPositionSymbolBase + p];
        while (node != kPositionRoot) node = bump(node);
        ++positionTotal;
    }

    // Symbol p joins as the lightest leaf: the last leaf m becomes internal, with the
    // old leaf moved to m + 1 and the new one, weight 0, at m + 2.
    void addPositionLeaf(unsigned p) {
        const int m = lastPositionLeaf, moved = m + 1, added = m + 2;
        child[moved] = child[m];
        leafOf[~child[moved]] = static_cast<std::uint16_t>(moved);
        child[added] = static_cast<std::int16_t>(~(kPositionSymbolBase + static_cast<int>(p)));
        child[m] = static_cast<std::int16_t>(added);
        weight[moved] = weight[m];
        weight[added] = 0;
        run[moved] = run[m];
        if (m == kPositionRoot) {
            weight[kPositionRoot] = 0xFFFF;
            ++runLeader[run[kPositionRoot]];
        }
        parent[moved] = parent[added] = static_cast<std::uint16_t>(m);
        const std::uint16_t fresh = takeRun();
        run[added] = fresh;
        runLeader[fresh] = static_cast<std::uint16_t>(added);
        leafOf[kPositionSymbolBase + p] = static_cast<std::uint16_t>(added);
        lastPositionLeaf = added;
        countPosition(p);
    }

    // lh2: position symbol k joins once more than 64·k bytes have been produced
    // (before the match in hand), up to the window's size / 64 symbols.
    void growPositions(std::uint32_t produced) {
        while (produced > nextGrowth) {
            addPositionLeaf(nextGrowth / 64);
            nextGrowth += 64;
            if (nextGrowth >= positionLimit) nextGrowth = 0xFFFFFFFF;
        }
    }
    int positionSymbols() const { return (lastPositionLeaf - kPositionRoot) / 2 + 1; }

    // Root to leaf, one bit per level; deep walks refill on the way.
    VOPA_INLINE unsigned walk(BitInput& in, int root) const {
        int c = child[root];
        while (c > 0) {
            if (in.count < 1) in.refill();
            c = in.take(1) ? child[c - 1] : child[c];
        }
        return static_cast<unsigned>(~c);
    }
};
