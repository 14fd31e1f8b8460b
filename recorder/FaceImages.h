#pragma once
// The 78 face pictures of the address book (the image list "ilFace"), 16 x 16.
#include <QIcon>

class QComboBox;

namespace murmel {

// Face `index` (0 to 77); an empty icon for any other number.
QIcon FaceIcon(int index);

// Fills the face chooser of the address dialogs: entry n shows face n and "n".
void FillFaceBox(QComboBox* box);

}  // namespace murmel
