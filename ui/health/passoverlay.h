#pragma once

#include "limit_set.h"
#include "pass_splitter.h"
#include "telemetry_record.h"

#include <QChartView>
#include <memory>
#include <vector>

namespace kesta {

class RecordStore;

// View -> Pass -> "Overlay Passes": one parameter over every pass at once, x = seconds since
// each pass's start, one line per pass named in the legend, so that a trend from pass to
// pass shows at a glance. The bounds of the parameter's limits are drawn as on the main
// chart. Records without a reception time have no place on it.
class PassOverlay : public QChartView
{
    Q_OBJECT

public:
    explicit PassOverlay(QWidget *parent = nullptr);

    // Draws `field` of the records the store holds, pass by pass.
    void draw(const RecordStore &store, const std::vector<Pass> &passes, Field field,
              const LimitSet *limits);
    // The lines drawn, one per pass with a timed value of the field.
    int lineCount() const;
};

} // namespace kesta
