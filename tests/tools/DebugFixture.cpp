// A small program for the debug information tests: the host build compiles it with the i686
// cross compiler and DWARF, and LumDebugExtractTest reads what the tool makes of it. The
// tests name the lines of the functions below.

#include <cstdio>
#include <vector>

namespace fixture {

class Shape {
  public:
    explicit Shape(int side) : side_(side) {}
    int Area() const;

  private:
    int side_;
};

[[gnu::noinline]] int Shape::Area() const { // line 19
    return side_ * side_;                   // line 20
}

template <class T> [[gnu::noinline]] T Twice(T value) { // line 23
    return value + value;
}

namespace {
[[gnu::noinline]] int Helper(int x) { // line 28
    return x * 3;
}
} // namespace

} // namespace fixture

extern "C" [[gnu::noinline]] int PlainC(int x) { // line 35
    return x - 1;
}

int main(int argc, char**) { // line 39
    fixture::Shape shape(argc);
    std::vector<int> values{1, 2, 3};
    std::printf("%d\n", shape.Area() + fixture::Twice(argc) + fixture::Helper(argc) + PlainC(argc) +
                            values.at(static_cast<size_t>(argc)));
    return 0;
}
