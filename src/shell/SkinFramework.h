#pragma once

#include <QString>

class QWidget;

namespace shell {

// Our skin component. Its members follow the steps the window takes to skin itself, in this order:
// loadSkin (dispatch id 2), the option bits (property 1), applyToDialogs (property 5),
// refreshAll (property 10), and applyWindow (dispatch id 3). The skin file is a Qt style sheet.
class SkinFramework
{
public:
    // Option bit 0: the skin's rules take effect when a window is applied; without it applyWindow
    // leaves the window's look alone.
    static constexpr int OptionApplyRules = 0x1;

    // Dispatch id 2. Reads the skin file; a file that cannot be read, is empty, or is not text is
    // rejected with core::Failure. The section names a part of a skin archive; ours has none.
    void loadSkin(const QString& path, const QString& section);

    // Property 1.
    int applyOptions() const { return m_options; }
    void setApplyOptions(int options) { m_options = options; }

    // Property 5: message boxes and dialogs share the window's skin.
    bool applyToDialogs() const { return m_applyToDialogs; }
    void setApplyToDialogs(bool on) { m_applyToDialogs = on; }

    // Property 10: every widget is re-polished at once instead of at its next repaint.
    bool refreshAll() const { return m_refreshAll; }
    void setRefreshAll(bool on) { m_refreshAll = on; }

    // Dispatch id 3: applies the loaded skin to the window. Fails when no skin is loaded.
    void applyWindow(QWidget* window);

    const QString& styleSheet() const { return m_styleSheet; }

private:
    QString m_styleSheet;
    int m_options = 0;
    bool m_applyToDialogs = false;
    bool m_refreshAll = false;
};

} // namespace shell
