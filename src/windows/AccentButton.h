#pragma once

#include "windows/PageBlocks.h"

#include <QAbstractButton>
#include <QColor>
#include <functional>
#include <memory>

class QPainter;
class QVariantAnimation;

// A painted button that one of a group shows as chosen, tinted with the accent theme.
class AccentButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit AccentButton(QWidget *parent = nullptr);
    // Shows the button chosen or not: at once, or with `fade` over the button's selection fade,
    // the old look turning into the new.
    void setSelected(bool selected, bool fade = false);
    bool isSelected() const { return m_selected; }
    // How chosen the button looks: 0 not, 1 chosen, in between while its look fades.
    double selection() const { return m_selection; }
    void setAccent(const QColor &accent);
    QColor accent() const { return m_accent; }
    QColor accent(double opacity) const;

protected:
    struct ChoiceLook {
        double radius;
        double selectedFill;
        double selectedOutline;
        double selectedLineWidth = 1;
        double outline = 0.06;
    };
    // The card behind a choice: the accent fill and outline when chosen, faint white otherwise
    // (a little brighter while pressed).
    void paintChoiceCard(QPainter &painter, const ChoiceLook &look) const;
    // How long a faded change of the selection takes; 0, the default, changes it at once.
    void setSelectionFadeMs(int ms) { m_selectionFadeMs = ms; }

private:
    bool m_selected = false;
    double m_selection = 0;
    int m_selectionFadeMs = 0;
    QVariantAnimation *m_selectionFade = nullptr;
    QColor m_accent;
};

// One button of a group of choices of a stored value: it shows whether `chosen` holds whenever
// `changed` is announced, and a click runs `choose`. A change that a click of the group makes
// (its buttons share `clicking`) fades the old choice's look into the new one; a change from
// elsewhere shows at once.
template <typename Signal>
void bindChoice(SettingsStore &store, Signal changed, AccentButton *button,
                std::function<bool()> chosen, std::function<void()> choose,
                const std::shared_ptr<bool> &clicking)
{
    followSetting(store, changed, button,
                  [button, chosen, clicking] { button->setSelected(chosen(), *clicking); });
    QObject::connect(button, &QAbstractButton::clicked, &store, [choose, clicking] {
        *clicking = true;
        choose();
        *clicking = false;
    });
}
