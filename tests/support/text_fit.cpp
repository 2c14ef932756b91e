#include "text_fit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>

namespace {

QString Describe(const QWidget* control, const QString& text) {
  return QString("%1 \"%2\" (%3)").arg(control->metaObject()->className(), text, control->objectName());
}

QSize TextSize(const QWidget* control, const QString& text) {
  return control->fontMetrics().size(Qt::TextShowMnemonic, text);
}

// Where the text is drawn and the room it has, in the control's coordinates.
struct TextPlace {
  QRect text;
  QRect room;
};

TextPlace PlaceOfButtonText(const QAbstractButton* button) {
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = button->text();
  option.icon = button->icon();
  option.iconSize = button->iconSize();
  const QSize size = TextSize(button, button->text());
  const bool checkBox = qobject_cast<const QCheckBox*>(button) != nullptr;
  const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
  if (checkBox || radio) {
    const QRect room = button->style()->subElementRect(
        checkBox ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &option, button);
    return {QRect(QPoint(room.left(), room.center().y() - size.height() / 2), size), room};
  }
  QRect room;
  if (qobject_cast<const QPushButton*>(button) != nullptr) {
    room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
  } else {
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button) / 2;
    room = button->rect().adjusted(margin, margin, -margin, -margin);
  }
  QRect text(QPoint(), size);
  text.moveCenter(room.center());
  return {text, room};
}

TextPlace PlaceOfLabelText(const QLabel* label) {
  const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                    -label->margin());
  const QRect text = label->style()->itemTextRect(label->fontMetrics(), room, int(label->alignment()),
                                                  label->isEnabled(), label->text());
  return {text, room};
}

TextPlace PlaceOfGroupTitle(const QGroupBox* group) {
  QStyleOptionGroupBox option;
  option.initFrom(group);
  option.text = group->title();
  option.lineWidth = 1;
  option.midLineWidth = 0;
  option.textAlignment = group->alignment();
  option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  if (group->isCheckable()) option.subControls |= QStyle::SC_GroupBoxCheckBox;
  const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
  QRect text(label.topLeft(), TextSize(group, group->title()));
  text.moveCenter(label.center());
  return {text, group->rect()};
}

// The widest item of a drop-down list against its text field.
QString ComboItemsThatDoNotFit(const QComboBox* combo) {
  QStyleOptionComboBox option;
  option.initFrom(combo);
  option.editable = combo->isEditable();
  const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
  for (int i = 0; i < combo->count(); ++i) {
    const QString item = combo->itemText(i);
    const int width = combo->fontMetrics().horizontalAdvance(item);
    if (width > field.width())
      return QString("%1 needs %2 px, has %3").arg(Describe(combo, item)).arg(width).arg(field.width());
  }
  return {};
}

// The controls that share the text's parent and could cover it; a group
// box's own children sit under its title too.
QList<QWidget*> Neighbours(QWidget* control) {
  QList<QWidget*> neighbours;
  if (QWidget* parent = control->parentWidget()) {
    for (QWidget* sibling : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (sibling != control && !sibling->isWindow() && sibling->isVisibleTo(parent)) neighbours << sibling;
  }
  return neighbours;
}

}  // namespace

QStringList TextsThatDoNotFit(QWidget* window) {
  QStringList problems;
  QList<QWidget*> controls = window->findChildren<QWidget*>();
  controls.prepend(window);
  for (QWidget* control : controls) {
    if (control != window && (control->isWindow() || !control->isVisibleTo(window))) continue;
    TextPlace place;
    QString text;
    QList<QWidget*> covering = Neighbours(control);
    if (auto* button = qobject_cast<QAbstractButton*>(control); button && !button->text().isEmpty()) {
      auto* tool = qobject_cast<QToolButton*>(button);
      if (tool != nullptr && !tool->icon().isNull() && tool->toolButtonStyle() == Qt::ToolButtonIconOnly) continue;
      text = button->text();
      place = PlaceOfButtonText(button);
    } else if (auto* label = qobject_cast<QLabel*>(control); label && !label->text().isEmpty()) {
      if (label->wordWrap() || label->textFormat() == Qt::RichText) continue;
      text = label->text();
      place = PlaceOfLabelText(label);
    } else if (auto* group = qobject_cast<QGroupBox*>(control); group && !group->title().isEmpty()) {
      text = group->title();
      place = PlaceOfGroupTitle(group);
      for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isVisibleTo(group)) covering << child;
    } else if (auto* combo = qobject_cast<QComboBox*>(control); combo && !combo->isEditable()) {
      if (const QString problem = ComboItemsThatDoNotFit(combo); !problem.isEmpty()) problems << problem;
      continue;
    } else {
      continue;
    }
    if (!place.room.contains(place.text)) {
      problems << QString("%1 needs %2x%3 px, has %4x%5")
                      .arg(Describe(control, text))
                      .arg(place.text.width())
                      .arg(place.text.height())
                      .arg(place.room.width())
                      .arg(place.room.height());
      continue;
    }
    for (QWidget* neighbour : covering) {
      const QRect neighbourArea = control->parentWidget() == neighbour->parentWidget()
                                      ? neighbour->geometry().translated(-control->pos())
                                      : neighbour->geometry();
      if (neighbourArea.intersects(place.text)) {
        problems << QString("%1 runs into %2").arg(Describe(control, text), Describe(neighbour, ""));
        break;
      }
    }
  }
  return problems;
}
