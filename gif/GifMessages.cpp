#include "gif/GifMessages.h"

#include "platform/Exceptions.h"

namespace gif {

namespace {

struct TMessageEntry {
    int Id;
    const char* Text;
};

constexpr TMessageEntry kMessages[] = {
    {SGIFUnknownVersion, "Неизвестная версия изображения GIF"},
    {SGIFEncodeError, "Ошибка кодировки данных в формат GIF"},
    {SGIFBadData, "Неверные данные в формате GIF"},
    {SGIFCodeSizeRange, "Размер кода GIF не принадлежит диапазону от 2 до 9"},
    {SGIFBadColorCount, "Неверное число цветов; должно быть степенью числа 2"},
    {SGIFUnknownExtension, "Неопределенное расширение GIF: %.2x"},
    {SGIFNoData, "Нет данных для записи в формате GIF"},
    {SGIFCannotResize, "Невозможно изменить размер изображения GIF"},
    {SGIFDescription, "CompuServe GIF Image"},
};

} // namespace

const char* GifMessage(int id) {
    for (const TMessageEntry& entry : kMessages) {
        if (entry.Id == id) {
            return entry.Text;
        }
    }
    return "";
}

void RaiseGifError(int id) {
    throw platform::EInvalidGraphicOperation(GifMessage(id));
}

} // namespace gif
