# Trial division: right, but far too slow for the large tests.
def is_prime(k):
    if k < 2:
        return False
    d = 2
    while d * d <= k:
        if k % d == 0:
            return False
        d += 1
    return True

with open("DEM.INP") as f:
    n = int(f.read())
with open("DEM.OUT", "w") as f:
    f.write(str(sum(1 for k in range(n + 1) if is_prime(k))) + "\n")
