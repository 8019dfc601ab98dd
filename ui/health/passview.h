#pragma once

#include "pass_splitter.h"

#include <QObject>
#include <utility>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QWidget;

namespace kesta {

class RecordStore;

// View -> "Pass": all passes of the log, or one. The chart, the light-element map and the
// record table show the records of the pass chosen. The passes are those of the whole log;
// a pass that begins past the records the window holds (the first 1,000) is listed but
// cannot be chosen. A live session has no passes to choose.
class PassView : public QObject
{
    Q_OBJECT

public:
    // The "Pass" menu is made for the window's View menu to list; `menuParent` owns it.
    PassView(QWidget *menuParent, const kesta::RecordStore &store, QObject *parent = nullptr);

    // The passes of a newly decoded log (none for a live session); all are shown again.
    void setPasses(std::vector<Pass> passes);
    const std::vector<Pass> &passes() const { return m_passes; }
    // 0: all passes; 1, 2, ...: that pass. A pass that cannot be chosen is ignored.
    void choose(int pass);
    int chosen() const { return m_chosen; }
    // The records shown, as store indices from and to (inclusive): every record held, or
    // those of the chosen pass that the store holds. to < from when there are none.
    std::pair<int, int> span() const;

    QMenu *menu() const { return m_menu; }

signals:
    // Another pass, or all, is shown.
    void chosenChanged();
    // "Overlay Passes": the user asks for the chosen parameter of every pass at once.
    void overlayRequested();

private:
    void rebuildMenu();

    const RecordStore &m_store;
    QMenu *m_menu;
    QActionGroup *m_group;
    std::vector<Pass> m_passes;
    int m_chosen = 0;
};

} // namespace kesta
