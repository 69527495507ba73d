with open("MAX.INP") as f:
    numbers = f.read().split()
n = int(numbers[0])
with open("MAX.OUT", "w") as f:
    f.write(str(max(int(x) for x in numbers[1:n + 1])) + "\n")
