# Independent golden values for the generator, from the published formulas only.
import struct
def f32(x): return struct.unpack('<f', struct.pack('<f', x))[0]
class G:
    def __init__(s, seed): s.seed = seed
    def step(s):
        q, r = 44488, 3399
        v = (s.seed % q) * 48271 - (s.seed // q) * r
        if v < 0: v += 2147483647
        s.seed = v
        return v
    def rfloat(s):
        v = s.step()
        return f32(f32(v & 0x0FFFFFF0) / 268435456.0)  # exact in single precision: 28-bit value / 2^28
    def rdouble(s):
        s1 = s.step(); s2 = s.step()
        return ((s1 & 0x1FFFFFFC) + (s2 & 0x1FFFFFF8) / 134217728.0) / 536870912.0
    def rint(s, a, b):
        r = s.rdouble(); d = b - a
        if d > 0: return a + int(r * (d + 1))
        return b + int(r * (1 - d))
g = G(4660)
print("floats", [g.rfloat().hex() for _ in range(3)], g.seed)
g = G(4660)
print("doubles", [g.rdouble().hex() for _ in range(3)], g.seed)
g = G(4660)
print("ints", [g.rint(1, 6) for _ in range(6)], [g.rint(100, -100) for _ in range(4)], [g.rint(-2147483648, 2147483647) for _ in range(2)], g.seed)
g = G(123456789)
print("mix", g.rfloat().hex(), g.rdouble().hex(), g.rint(0, 9), g.rfloat(), g.seed)
