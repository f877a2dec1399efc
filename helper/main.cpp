// mosalith: composes the sheets of one grid job file into JPEG files.
//
// Usage: mosalith <job file>. Exit code 0 when every sheet was written (and "OK" printed), non-zero
// otherwise; see helper/driver.h.
#include "helper/driver.h"

int main(int argc, char** argv) { return mosalith::RunDriver(argc, argv); }
