#pragma once
// A framed group of radio items with a caption, one of which is chosen.
// itemIndex() is the chosen item (-1 for none); clicked(index) fires when
// the user picks an item (not when setItemIndex is called).
#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

namespace widgets {

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit RadioGroup(const QString& caption, const QStringList& items = {}, QWidget* parent = nullptr);

    void setItems(const QStringList& items);
    QStringList items() const;
    int count() const;
    QRadioButton* button(int index) const;

    int itemIndex() const;
    void setItemIndex(int index);

signals:
    void clicked(int index);

private:
    QButtonGroup* group_;
    QVBoxLayout* layout_;
};

}  // namespace widgets
