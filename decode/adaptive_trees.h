// The adaptive Huffman trees of -lh1- and -lh2-: the literal/length tree and lh2's
// position tree, updated after every symbol.
//
// Both trees live in one set of node arrays. Weights never increase with the node
// number; a "run" is a maximal stretch of consecutive nodes of equal weight, whose
// leader (lowest number) is the node that moves up when one of them is counted.
#pragma once
#include <cstdint>

#include "decode/bit_input.h"

constexpr int kNodes = 884;  // code tree 0..626, position tree 628..882
constexpr int kPositionRoot = 628;
constexpr int kPositionSymbolBase = 314;  // position symbol p is leaf symbol 314 + p
// Run ids: at most one per node of both trees, plus the two reserved ids 0 and 1.
constexpr int kRunIds = kNodes + 2;

struct AdaptiveTrees {
    // --- nodes (index = node number)
    std::uint16_t weight[kNodes + 1];
    std::int16_t child[kNodes + 1];  // v >= 1: children v (bit 0) and v - 1 (bit 1); v < 0: leaf ~v
    std::uint16_t parent[kNodes + 1];
    std::uint16_t run[kNodes + 1];  // 0 = no run; node kNodes stays 0 as a sentinel
    // --- runs
    std::uint16_t runLeader[kRunIds];
    std::uint16_t freeRuns[kRunIds];
    int freeRunTop = 2;
    // --- symbols
    std::uint16_t leafOf[kPositionSymbolBase + 128];

    int codeSymbols = 314;
    unsigned escapeCode = 512;
    // --- lh2 position tree
    int lastPositionLeaf = kPositionRoot;
    std::uint16_t positionTotal = 0;
    std::uint32_t positionLimit = 8192, nextGrowth = 64;

    std::uint16_t takeRun() {
        return freeRuns[freeRunTop < kRunIds - 1 ? freeRunTop++ : freeRunTop];
    }
    void releaseRun(std::uint16_t id) {
        if (freeRunTop > 2) freeRuns[--freeRunTop] = id;
    }

    void initCodeTree(int n, int longestMatch) {
        codeSymbols = n;
        escapeCode = n >= longestMatch + 254 ? 512u : static_cast<unsigned>(n - 1);
        for (int i = 0; i < kRunIds; ++i) freeRuns[i] = static_cast<std::uint16_t>(i);
        for (int i = 0; i <= kNodes; ++i) run[i] = 0;
        for (int i = 0; i < n; ++i) {
            int j = 2 * n - 2 - i;
            weight[j] = 1;
            child[j] = static_cast<std::int16_t>(~i);
            leafOf[i] = static_cast<std::uint16_t>(j);
            run[j] = 1;
        }
        freeRunTop = 2;
        runLeader[1] = static_cast<std::uint16_t>(n - 1);
        for (int i = 2 * n - 2, j = n - 2; j >= 0; --j, i -= 2) {
            unsigned f = weight[i] + weight[i - 1];
            weight[j] = static_cast<std::uint16_t>(f);
            child[j] = static_cast<std::int16_t>(i);
            parent[i] = parent[i - 1] = static_cast<std::uint16_t>(j);
            run[j] = f == weight[j + 1] ? run[j + 1] : takeRun();
            runLeader[run[j]] = static_cast<std::uint16_t>(j);
        }
    }

    void initPositionTree(unsigned windowBits) {
        weight[kPositionRoot] = 1;
        child[kPositionRoot] = static_cast<std::int16_t>(~kPositionSymbolBase);
        leafOf[kPositionSymbolBase] = kPositionRoot;
        run[kPositionRoot] = takeRun();
        runLeader[run[kPositionRoot]] = kPositionRoot;
        lastPositionLeaf = kPositionRoot;
        positionTotal = 0;
        positionLimit = 1u << windowBits;
        nextGrowth = 64;
    }

    void relinkChild(int x) {
        int v = child[x];
        if (v >= 0) parent[v] = parent[v - 1] = static_cast<std::uint16_t>(x);
        else leafOf[~v] = static_cast<std::uint16_t>(x);
    }

    // Adds 1 to node p's weight, keeping weights ordered; returns the node to raise next.
    int bump(int p) {
        std::uint16_t b = run[p];
        int q = runLeader[b];
        if (q != p) {
            std::int16_t t = child[p];
            child[p] = child[q];
            child[q] = t;
            relinkChild(p);
            relinkChild(q);
            p = q;
        } else if (run[p + 1] != b) {
            // Alone in its run.
            ++weight[p];
            if (weight[p] == weight[p - 1]) {
                releaseRun(b);
                run[p] = run[p - 1];
            }
            return parent[p];
        }
        ++runLeader[b];  // the leader leaves its run
        ++weight[p];
        if (weight[p] == weight[p - 1]) {
            run[p] = run[p - 1];
        } else {
            std::uint16_t c = takeRun();
            run[p] = c;
            runLeader[c] = static_cast<std::uint16_t>(p);
        }
        return parent[p];
    }

    // Halves the leaf weights of nodes first..end-1 and rebuilds them as a Huffman tree.
    void rebuildTree(int first, int end) {
        int j = first;
        for (int i = first; i < end; ++i) {
            if (child[i] < 0) {
                weight[j] = static_cast<std::uint16_t>((weight[i] + 1) / 2);
                child[j] = child[i];
                ++j;
            }
            if (runLeader[run[i]] == i) releaseRun(run[i]);
        }
        --j;
        int i = end - 1, l = end - 2;
        while (i >= first) {
            while (i >= l && j >= first) {
                weight[i] = weight[j];
                child[i] = child[j];
                --i;
                --j;
            }
            if (i < first) break;
            unsigned f = weight[l] + weight[l + 1];
            int k = first;
            while (k < i && f < weight[k]) ++k;
            while (j >= k) {
                weight[i] = weight[j];
                child[i] = child[j];
                --i;
                --j;
            }
            weight[i] = static_cast<std::uint16_t>(f);
            child[i] = static_cast<std::int16_t>(l + 1);
            --i;
            l -= 2;
        }
        unsigned f = 0;
        std::uint16_t current = 0;
        for (int x = first; x < end; ++x) {
            relinkChild(x);
            if (weight[x] == f) {
                run[x] = current;
            } else {
                current = takeRun();
                run[x] = current;
                runLeader[current] = static_cast<std::uint16_t>(x);
                f = weight[x];
            }
        }
    }

    void countCode(unsigned s) {
        if (weight[0] == 0x8000) rebuildTree(0, 2 * codeSymbols - 1);
        ++weight[0];
        int q = leafOf[s];
        do q = bump(q);
        while (q != 0);
    }

    void countPosition(unsigned p) {
        if (positionTotal == 0x8000) {
            rebuildTree(kPositionRoot, lastPositionLeaf + 1);
            positionTotal = weight[kPositionRoot];
            weight[kPositionRoot] = 0xFFFF;
        }
        int q = leafOf[kPositionSymbolBase + p];
        while (q != kPositionRoot) q = bump(q);
        ++positionTotal;
    }

    void addPositionLeaf(unsigned p) {
        int m = lastPositionLeaf, r = m + 1, q = m + 2;
        child[r] = child[m];
        leafOf[~child[r]] = static_cast<std::uint16_t>(r);
        child[q] = static_cast<std::int16_t>(~(kPositionSymbolBase + static_cast<int>(p)));
        child[m] = static_cast<std::int16_t>(q);
        weight[r] = weight[m];
        weight[q] = 0;
        run[r] = run[m];
        if (m == kPositionRoot) {
            weight[kPositionRoot] = 0xFFFF;
            ++runLeader[run[kPositionRoot]];
        }
        parent[r] = parent[q] = static_cast<std::uint16_t>(m);
        std::uint16_t c = takeRun();
        run[q] = c;
        runLeader[c] = static_cast<std::uint16_t>(q);
        leafOf[kPositionSymbolBase + p] = static_cast<std::uint16_t>(q);
        lastPositionLeaf = q;
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
