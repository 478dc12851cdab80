#include <measure/measure.h>
#include <stdio.h>

int main(void) {
    uint64_t rowSize = 0;
    const InstrumentDescriptor* first = GetInstrumentList(&rowSize);
    const InstrumentDescriptor* sim = GetInstrumentByID(999);
    if (first == NULL || rowSize != MEASURE_REGISTRY_ROW_SIZE || sim == NULL) return 1;
    printf("%s\n", sim->pszFullName);
    return 0;
}
