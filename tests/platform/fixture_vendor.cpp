// Stand-in vendor library of the loader tests.
extern "C" int fixtureAnswer() {
    return 42;
}

extern "C" int ordinal_7(int x) {
    return 2 * x;
}
