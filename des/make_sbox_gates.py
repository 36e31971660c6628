#!/usr/bin/env python3
"""Writes des_sbox_gates.h: each DES S-box as a short sequence of and, or, xor and not.

    des/make_sbox_gates.py des/des_sbox_gates.h && clang-format -i des/des_sbox_gates.h

(about ten minutes on one core: it tries every order)

Each output bit is split on one input bit after another (Shannon expansion), f = f0 ^ (v & (f0 ^ f1))
or one of its one-operation special cases, with every intermediate function built once and shared
between the four outputs. All orders of the six inputs and of the four outputs are tried, and the
shortest sequence is kept. The header checks itself at compile time against the S-box tables.
"""
import itertools
import sys

# The standard's S-boxes, [box][row][column], as in des_tables.h.
S = [
 [[14,4,13,1,2,15,11,8,3,10,6,12,5,9,0,7],[0,15,7,4,14,2,13,1,10,6,12,11,9,5,3,8],[4,1,14,8,13,6,2,11,15,12,9,7,3,10,5,0],[15,12,8,2,4,9,1,7,5,11,3,14,10,0,6,13]],
 [[15,1,8,14,6,11,3,4,9,7,2,13,12,0,5,10],[3,13,4,7,15,2,8,14,12,0,1,10,6,9,11,5],[0,14,7,11,10,4,13,1,5,8,12,6,9,3,2,15],[13,8,10,1,3,15,4,2,11,6,7,12,0,5,14,9]],
 [[10,0,9,14,6,3,15,5,1,13,12,7,11,4,2,8],[13,7,0,9,3,4,6,10,2,8,5,14,12,11,15,1],[13,6,4,9,8,15,3,0,11,1,2,12,5,10,14,7],[1,10,13,0,6,9,8,7,4,15,14,3,11,5,2,12]],
 [[7,13,14,3,0,6,9,10,1,2,8,5,11,12,4,15],[13,8,11,5,6,15,0,3,4,7,2,12,1,10,14,9],[10,6,9,0,12,11,7,13,15,1,3,14,5,2,8,4],[3,15,0,6,10,1,13,8,9,4,5,11,12,7,2,14]],
 [[2,12,4,1,7,10,11,6,8,5,3,15,13,0,14,9],[14,11,2,12,4,7,13,1,5,0,15,10,3,9,8,6],[4,2,1,11,10,13,7,8,15,9,12,5,6,3,0,14],[11,8,12,7,1,14,2,13,6,15,0,9,10,4,5,3]],
 [[12,1,10,15,9,2,6,8,0,13,3,4,14,7,5,11],[10,15,4,2,7,12,9,5,6,1,13,14,0,11,3,8],[9,14,15,5,2,8,12,3,7,0,4,10,1,13,11,6],[4,3,2,12,9,5,15,10,11,14,1,7,6,0,8,13]],
 [[4,11,2,14,15,0,8,13,3,12,9,7,5,10,6,1],[13,0,11,7,4,9,1,10,14,3,5,12,2,15,8,6],[1,4,11,13,12,3,7,14,10,15,6,8,0,5,9,2],[6,11,13,8,1,4,10,7,9,5,0,15,14,2,3,12]],
 [[13,2,8,4,6,15,11,1,10,9,3,14,5,0,12,7],[1,15,13,8,10,3,7,4,12,5,6,11,0,14,9,2],[7,11,4,1,9,12,14,2,0,6,10,13,15,3,5,8],[2,1,14,7,4,10,8,13,15,12,9,0,3,5,6,11]]]
ONES = (1 << 64) - 1
def bit(n, k):  # input variable k (0 = x1 .. 5 = x6) of index n
    return n >> (5 - k) & 1
VAR = [sum(1 << n for n in range(64) if bit(n, k)) for k in range(6)]
def outputs(s):
    res = []
    for j in range(4):
        t = 0
        for n in range(64):
            x = [bit(n, k) for k in range(6)]
            v = S[s][2 * x[0] + x[5]][8 * x[1] + 4 * x[2] + 2 * x[3] + x[4]]
            if v >> (3 - j) & 1:
                t |= 1 << n
        res.append(t)
    return res
def restrict(f, k, val):
    # truth table of f with variable k fixed to val, independent of k
    r = 0
    for n in range(64):
        m = n | (1 << (5 - k)) if val else n & ~(1 << (5 - k))
        if f >> m & 1:
            r |= 1 << n
    return r

class Circuit:
    def __init__(self, flavour):
        self.cache = {VAR[k]: 'a%d' % (k + 1) for k in range(6)}
        self.lines = []
        self.flavour = flavour
    def emit(self, f, expr):
        name = 't%d' % len(self.lines)
        self.lines.append((name, expr))
        self.cache[f] = name
        return name
    def build(self, f, order, d):
        if f in self.cache:
            return self.cache[f]
        if (f ^ ONES) in self.cache:
            return self.emit(f, '~%s' % self.cache[f ^ ONES])
        assert f != 0 and f != ONES
        k = order[d]
        f0, f1 = restrict(f, k, 0), restrict(f, k, 1)
        if f0 == f1:
            return self.build(f0, order, d + 1)
        v = 'a%d' % (k + 1)
        if f0 == 0:
            return self.emit(f, '%s & %s' % (v, self.build(f1, order, d + 1)))
        if f1 == 0:
            return self.emit(f, '%s & ~%s' % (self.build(f0, order, d + 1), v))
        if f1 == ONES:
            return self.emit(f, '%s | %s' % (v, self.build(f0, order, d + 1)))
        if f0 == ONES:
            return self.emit(f, '~%s | %s' % (v, self.build(f1, order, d + 1)))
        if f1 == f0 ^ ONES:
            return self.emit(f, '%s ^ %s' % (v, self.build(f0, order, d + 1)))
        diff = f0 ^ f1
        if self.flavour == 0:
            a = self.build(f0, order, d + 1)
            b = self.build(diff, order, d + 1)
            return self.emit(f, '%s ^ (%s & %s)' % (a, v, b))
        if self.flavour == 1:
            a = self.build(f1, order, d + 1)
            b = self.build(diff, order, d + 1)
            return self.emit(f, '%s ^ (%s & ~%s)' % (a, b, v))
        a = self.build(f0, order, d + 1)
        b = self.build(f1, order, d + 1)
        return self.emit(f, '(%s & ~%s) | (%s & %s)' % (a, v, v, b))

def cost(lines):
    c = 0
    for _, e in lines:
        c += e.count('&') + e.count('|') + e.count('^') + e.count('~')
        c -= e.count('& ~')  # and-not is one instruction
    return c

best_all = []
for s in range(8):
    outs = outputs(s)
    best = None
    for order in itertools.permutations(range(6)):
        for flavour in range(3):
            for perm in itertools.permutations(range(4)):
                c = Circuit(flavour)
                names = [None] * 4
                for j in perm:
                    names[j] = c.build(outs[j], order, 0)
                k = cost(c.lines)
                if best is None or k < best[0]:
                    best = (k, c.lines, names, order, flavour)
    best_all.append(best)
    print('S-box', s + 1, 'operations', best[0], file=sys.stderr)
out = []
w = out.append
w('// Generated by des/make_sbox_gates.py; do not edit. The eight S-boxes as boolean functions of')
w('// their six input bits a1..a6 (a1 first out of the expansion) giving the four output bits o1..o4')
w('// (most significant first). V is any type with &, |, ^ and ~ that holds masks 0x00 / 0xFF.')
w('')
w('#pragma once')
w('')
w('namespace ostrel::des::gates {')
for s, (operations, lines, names, order, flavour) in enumerate(best_all):
    w('')
    w("// %d operations." % operations)
    w('template <typename V>')
    w('[[gnu::always_inline]] constexpr void SBox%d(V a1, V a2, V a3, V a4, V a5, V a6, V& o1, V& o2, V& o3, V& o4) {' % (s + 1))
    for name, expr in lines:
        w('    const V %s = V(%s);' % (name, expr))
    for j in range(4):
        w('    o%d = %s;' % (j + 1, names[j]))
    w('}')
w('')
w('} // namespace ostrel::des::gates')
open(sys.argv[1], 'w').write('\n'.join(out) + '\n')
