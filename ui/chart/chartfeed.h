#pragma once

#include <utility>


namespace kesta {

class ParameterChart;

class RecordStore;

// Draws parameter `parameter` (a row of the main window's parameter table, 0 to 18) on
// `chart` over store indices span.first to span.second: one point per record whose
// frame carried the field, at its record number. A parameter that is not a number only
// sets the chart's row count; the earlier points stay.
void plotParameter(ParameterChart &chart, const RecordStore &store, std::pair<int, int> span,
                   int parameter);

} // namespace kesta
