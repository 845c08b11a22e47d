// The four tables the volume layer prints about its mounted drivers:
// basic parameters (layout), operation parameters (write position and time
// ranges), a time chart of all drivers, and every driver's time sections.
#pragma once

#include <string>

// The tables as text, one line per row, "\n"-terminated.
std::string driver_tables_text(void);

// Prints the tables to the trace (end of every initialisation).
void print_driver_tables(void);
