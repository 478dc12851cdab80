/* A vendor library as the binder meets one: a few named entries, one
 * exported by ordinal only, and a load count the tests read to see that a
 * refused library was let go again. */

/* Sets MEASURE_TEST_VENDOR_LOADED in the process environment, which the
 * tests read after the library is gone (one file per system). */
void publishLoaded(const char* value);

__attribute__((constructor)) static void onLoad(void) {
    publishLoaded("1");
}
__attribute__((destructor)) static void onUnload(void) {
    publishLoaded("0");
}

int VendorAdd(int a, int b) {
    return a + b;
}

const char* VendorName(void) {
    return "Framework Test Vendor";
}

/* Exported by ordinal 7 only. */
int ordinal_7(void) {
    return 7;
}
