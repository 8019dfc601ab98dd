#pragma once

#include "telemetry_record.h"

#include <QObject>
#include <QPointer>
#include <optional>
#include <utility>

class QWidget;

namespace kesta {

class Form2;
class HealthWatch;
class Info;
class LightElementMap;
class ParameterChart;
class PassOverlay;
class PassView;
class RecordTable;
class SaveFileChooser;

class RecordPanel;
class RecordSource;
class RecordStore;

// The windows beside the main window: the movement flag's bits, Info, the light-element
// map, the record table and the pass overlay. Each is made when first asked for and
// brought to the front after; the map and the table follow the records and the pass
// chosen. A record clicked in one of them is reported by recordChosen().
class SideWindows : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        QWidget *window = nullptr; // the main window, which the map, table and overlay go with
        const RecordStore *store = nullptr;
        RecordPanel *panel = nullptr;
        PassView *passes = nullptr;
        HealthWatch *health = nullptr;
        const RecordSource *source = nullptr; // the bits window follows its record shown
    };

    explicit SideWindows(const Parts &parts);
    ~SideWindows() override;

    void showMovementFlag();
    void showInfo();
    void showLightElementMap();
    void showRecordTable();
    // The chosen parameter over every pass; nothing for a parameter that is not a number.
    void showPassOverlay();

    Form2 *movementFlag() const;
    Info *info() const;
    LightElementMap *lightElementMap() const;
    RecordTable *recordTable() const;
    PassOverlay *passOverlay() const;

    // The store holds other records, or another pass is chosen.
    void followRecords();
    void followSpan();
    void setSaveChooser(SaveFileChooser *chooser);
    // The main window closes: so do they.
    void closeAll();

signals:
    // A record (its number) was clicked in the map or chosen in the table.
    void recordChosen(int record);

private:
    // Puts a window beside the main window, not over it.
    void placeBeside(QWidget *window);
    // The overlay, if open, of the records and passes now on view.
    void drawPassOverlay();

    Parts m_parts;
    SaveFileChooser *m_saveChooser = nullptr;
    QPointer<Form2> m_form2;
    QPointer<Info> m_info;
    QPointer<LightElementMap> m_lightMap;
    QPointer<RecordTable> m_recordTable;
    QPointer<PassOverlay> m_passOverlay;
    std::optional<Field> m_overlayField; // the field the overlay draws
};

} // namespace kesta
