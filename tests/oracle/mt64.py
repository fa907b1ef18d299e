"""The standard 64-bit Mersenne Twister and the draws the simulator makes from it, written
independently of the C++ code so that fixed-seed outputs can be checked draw for draw."""

MASK64 = (1 << 64) - 1


class MT64:
    N, M = 312, 156
    MATRIX_A = 0xB5026F5AA96619E9
    UPPER, LOWER = 0xFFFFFFFF80000000, 0x7FFFFFFF

    def __init__(self, seed):
        self.mt = [0] * self.N
        self.mt[0] = seed & MASK64
        for i in range(1, self.N):
            prev = self.mt[i - 1]
            self.mt[i] = (6364136223846793005 * (prev ^ (prev >> 62)) + i) & MASK64
        self.index = self.N
        self.spare = None  # the second deviate of the polar method

    def _twist(self):
        mt = self.mt
        for i in range(self.N):
            x = (mt[i] & self.UPPER) | (mt[(i + 1) % self.N] & self.LOWER)
            xa = x >> 1
            if x & 1:
                xa ^= self.MATRIX_A
            mt[i] = mt[(i + self.M) % self.N] ^ xa
        self.index = 0

    def next64(self):
        if self.index >= self.N:
            self._twist()
        x = self.mt[self.index]
        self.index += 1
        x ^= (x >> 29) & 0x5555555555555555
        x ^= (x << 17) & 0x71D67FFFEDA60000
        x ^= (x << 37) & 0xFFF7EEE000000000
        x ^= x >> 43
        return x & MASK64

    def uniform(self):
        """A double in [0, 1) from one 64-bit output (53-bit canonical conversion)."""
        u = float(self.next64()) / 18446744073709551616.0
        if u >= 1.0:
            u = 0.9999999999999999
        return u

    def normal(self):
        """Standard normal deviates by the polar method, keeping the spare one."""
        import math
        if self.spare is not None:
            z, self.spare = self.spare, None
            return z
        while True:
            x = 2.0 * self.uniform() - 1.0
            y = 2.0 * self.uniform() - 1.0
            r2 = x * x + y * y
            if not (r2 > 1.0 or r2 == 0.0):
                break
        mult = math.sqrt(-2.0 * math.log(r2) / r2)
        self.spare = x * mult
        return y * mult

    def uniform_int(self, low, high):
        """A uniform integer in [low, high] by 128-bit multiply-and-shift with rejection."""
        erange = high - low + 1
        product = self.next64() * erange
        low_bits = product & MASK64
        if low_bits < erange:
            threshold = ((1 << 64) - erange) % erange
            while low_bits < threshold:
                product = self.next64() * erange
                low_bits = product & MASK64
        return (product >> 64) + low

    def shuffle(self, values):
        """The standard library's shuffle for a 64-bit engine: two swap positions per draw."""
        n = len(values)
        if n == 0:
            return
        i = 1
        if n % 2 == 0:
            j = self.uniform_int(0, 1)
            values[i], values[j] = values[j], values[i]
            i += 1
        while i != n:
            swap_range = i + 1
            x = self.uniform_int(0, swap_range * (swap_range + 1) - 1)
            a, b = x // (swap_range + 1), x % (swap_range + 1)
            values[i], values[a] = values[a], values[i]
            i += 1
            values[i], values[b] = values[b], values[i]
            i += 1
