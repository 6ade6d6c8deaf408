// sendrix_manual DATE FILE: writes the manual page dated DATE (YYYY-MM-DD)
// to FILE.
#include <fstream>
#include <iostream>

#include "app/program_manual.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "Aufruf: sendrix_manual JJJJ-MM-TT DATEI\n";
        return 2;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << sendrix::app::ManualPage(argv[1]);
    out.close();
    if (!out) {
        std::cerr << "In " << argv[2] << " kann nicht geschrieben werden.\n";
        return 1;
    }
    return 0;
}
