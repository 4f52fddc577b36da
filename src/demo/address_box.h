#pragma once
// TAddressBox: the editable combo box of the demo's address search. Enter
// (or Return) typed in it runs OnEnter and goes no further: passed on, the
// combo box would also pick the list item whose text matches the typed one.
// The key is taken where Qt delivers it: the combo box has the focus and
// hands keys to its edit part directly, past any event filter there.

#include <QComboBox>
#include <functional>

namespace wy {

class TAddressBox : public QComboBox {
 public:
  explicit TAddressBox(QWidget* parent = nullptr);

  std::function<void()> OnEnter;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace wy
