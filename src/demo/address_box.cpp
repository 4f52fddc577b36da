#include "demo/address_box.h"

#include <QKeyEvent>

namespace wy {

TAddressBox::TAddressBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
}

void TAddressBox::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && OnEnter) {
    event->accept();
    OnEnter();
    return;
  }
  QComboBox::keyPressEvent(event);
}

}  // namespace wy
