// The usage text and the version line.
#include "Usage.h"

// Printed as it stands; the indentation and the spelling are part of the program's output.
const char kUsageText[] =
    "Tessarin by Quorrel v" TESSARIN_VERSION
    "\n"
    "Usage: Tessarin [Mode] [Options] [csv] [folder/file]\n"
    "     Mode:\n"
    "             [-u] unpack\n"
    "             [-p] pack\n"
    "             folder = [folder]\n"
    "             optionally [folder] = default .\\[namecsv]\\\n"
    "---------------------------------------------------------\n"
    "             [-s [colom]] sorted numer colom\n"
    "             [-ce] clear empty (work with one export colom)\n"
    "             [-nd[l] [colom]] not dublicates numer colom [l]=last duble "
    "(default first duble)\n"
    "---------------------------------------------------------\n"
    "             [-uc [value]] unpack colom value \n"
    "             [-pc [value]] pack colom value namefile = [file].txt\n"
    "             [-ucn [name]] unpack colom name\n"
    "             [-pcn [name]] pack colom name namefile = [file].txt\n"
    "             namefile text = [file]\n"
    "             [-namefiles [name]] set namefiles = [name]_[colomn].txt\n"
    "             optionally = .\\[namecsv]\\[namecsv]_[value].txt\n"
    "     Options:\n"
    "             [-d [char]] Delimiter\n"
    "             [-q [char]] Quote, -q [q]=\" -q [n]= not use quote\n"
    "             [-qopt] quote optimize if -q true\n"
    "             [-c [value]] count colom\n"
    "optionally -d -q -c = auto detect\n"
    "             [-fe[none,da,rn,hex,hml]] format enter\n"
    "             [-ncfl[d0]] name colom first line (warning need original file!) "
    "[d0] = delete text 0 line\n";

const char kVersionLine[] = "Tessarin " TESSARIN_VERSION;
