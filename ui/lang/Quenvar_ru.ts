<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>AboutDialog</name>
    <message>
        <source>About Quenvar</source>
        <translation>О программе Quenvar</translation>
    </message>
    <message>
        <source>A two-panel file manager and archiver.</source>
        <translation>Двухпанельный файловый менеджер и архиватор.</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Версия %1</translation>
    </message>
    <message>
        <source>Qt %1 (built with %2)</source>
        <translation>Qt %1 (собрано с %2)</translation>
    </message>
    <message>
        <source>zlib %1</source>
        <translation>zlib %1</translation>
    </message>
    <message>
        <source>Archive engine %1 (%2)</source>
        <translation>Движок архивов %1 (%2)</translation>
    </message>
    <message>
        <source>Archive engine not loaded from %1: %2</source>
        <translation>Движок архивов не загружен из %1: %2</translation>
    </message>
</context>
<context>
    <name>AddressBar</name>
    <message>
        <source>Downloads</source>
        <translation>Загрузки</translation>
    </message>
    <message>
        <source>Computer</source>
        <translation>Компьютер</translation>
    </message>
</context>
<context>
    <name>ArchiveProgressDlg</name>
    <message>
        <source>Unpacking</source>
        <translation>Извлечение</translation>
    </message>
    <message>
        <source>Passed:</source>
        <translation>Прошло:</translation>
    </message>
    <message>
        <source>Left:</source>
        <translation>Осталось:</translation>
    </message>
    <message>
        <source>Processed by:</source>
        <translation>Обработано:</translation>
    </message>
    <message>
        <source>Total:</source>
        <translation>Всего:</translation>
    </message>
    <message>
        <source>Speed:</source>
        <translation>Скорость:</translation>
    </message>
    <message>
        <source>Compressed:</source>
        <translation>Сжато:</translation>
    </message>
    <message>
        <source>Archive size (forecast):</source>
        <translation>Размер архива (прогноз):</translation>
    </message>
    <message>
        <source>Compression ratio:</source>
        <translation>Степень сжатия:</translation>
    </message>
    <message>
        <source>Do not close this window after the operation</source>
        <translation>Не закрывать это окно после завершения операции</translation>
    </message>
    <message>
        <source>Low priority</source>
        <translation>Низкий приоритет</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Пауза</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Adding itself or its parent directory to the archive is not allowed.</source>
        <translation>Нельзя добавить в архив сам архив или папку, в которой он находится.</translation>
    </message>
    <message>
        <source>Compressing </source>
        <translation>Упаковка </translation>
    </message>
    <message>
        <source>Extracting </source>
        <translation>Извлечение </translation>
    </message>
    <message>
        <source>Compressing:</source>
        <translation>Упаковка:</translation>
    </message>
    <message>
        <source>Scanning:</source>
        <translation>Сканирование:</translation>
    </message>
    <message>
        <source>Extracting:</source>
        <translation>Извлечение:</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Interrupt</source>
        <translation>Прерывание</translation>
    </message>
    <message>
        <source>Are you sure you want to abort the operation?</source>
        <translation>Вы действительно хотите прервать операцию?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Да</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Нет</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Продолжить</translation>
    </message>
    <message>
        <source>The system does not allow raising the priority again during this operation.</source>
        <translation>Система не позволяет снова повысить приоритет во время этой операции.</translation>
    </message>
    <message>
        <source>Normal priority</source>
        <translation>Обычный приоритет</translation>
    </message>
    <message>
        <source>quenvar: %1 needs a password, which cannot be asked without a display</source>
        <translation>quenvar: для %1 нужен пароль, а без дисплея его нельзя запросить</translation>
    </message>
    <message>
        <source>quenvar: %1 already exists; without a display nobody can decide about it, so the operation stops</source>
        <translation>quenvar: %1 уже существует; без дисплея некому решить, что с ним делать, поэтому операция остановлена</translation>
    </message>
    <message>
        <source>quenvar: cannot access %1; the operation stops</source>
        <translation>quenvar: нет доступа к %1; операция остановлена</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/с</translation>
    </message>
    <message>
        <source>Waiting for another operation on this archive...</source>
        <translation>Ожидание другой операции с этим архивом...</translation>
    </message>
</context>
<context>
    <name>CArchiveDataModel</name>
    <message>
        <source>Name</source>
        <translation>Имя</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Размер</translation>
    </message>
    <message>
        <source>Date modified</source>
        <translation>Дата изменения</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>The folder &quot;%1&quot; has no entry of its own in the archive and cannot be renamed.</source>
        <translation>Папка «%1» не имеет в архиве собственной записи, и её нельзя переименовать.</translation>
    </message>
</context>
<context>
    <name>CompressDialog</name>
    <message>
        <source>Packing options</source>
        <translation>Параметры упаковки</translation>
    </message>
    <message>
        <source>Archive:</source>
        <translation>Архив:</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Archive format:</source>
        <translation>Формат архива:</translation>
    </message>
    <message>
        <source>Compression level:</source>
        <translation>Уровень сжатия:</translation>
    </message>
    <message>
        <source>Compression method:</source>
        <translation>Метод сжатия:</translation>
    </message>
    <message>
        <source>Update mode:</source>
        <translation>Режим обновления:</translation>
    </message>
    <message>
        <source>Paths mode:</source>
        <translation>Режим путей:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Пароль:</translation>
    </message>
    <message>
        <source>Split into volumes of size (in bytes):</source>
        <translation>Разбить на тома размером (в байтах):</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>10M</source>
        <translation>10M</translation>
    </message>
    <message>
        <source>100M</source>
        <translation>100M</translation>
    </message>
    <message>
        <source>1000M</source>
        <translation>1000M</translation>
    </message>
    <message>
        <source>650M - CD</source>
        <translation>650M - CD</translation>
    </message>
    <message>
        <source>700M - CD</source>
        <translation>700M - CD</translation>
    </message>
    <message>
        <source>4092M - FAT</source>
        <translation>4092M - FAT</translation>
    </message>
    <message>
        <source>4480M - DVD</source>
        <translation>4480M - DVD</translation>
    </message>
    <message>
        <source>8128M - DVD DL</source>
        <translation>8128M - DVD DL</translation>
    </message>
    <message>
        <source>23040M - BD</source>
        <translation>23040M - BD</translation>
    </message>
    <message>
        <source>Add and replace</source>
        <translation>Добавить и заменить</translation>
    </message>
    <message>
        <source>Relative paths</source>
        <translation>Относительные пути</translation>
    </message>
    <message>
        <source>Update and add</source>
        <translation>Обновить и добавить</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Обновить существующие</translation>
    </message>
    <message>
        <source>Synchronize</source>
        <translation>Синхронизировать</translation>
    </message>
    <message>
        <source>Full paths</source>
        <translation>Полные пути</translation>
    </message>
    <message>
        <source>Absolute paths</source>
        <translation>Абсолютные пути</translation>
    </message>
    <message>
        <source>Store</source>
        <translation>Без сжатия</translation>
    </message>
    <message>
        <source>Fastest</source>
        <translation>Скоростной</translation>
    </message>
    <message>
        <source>Fast</source>
        <translation>Быстрый</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Нормальный</translation>
    </message>
    <message>
        <source>Maximum</source>
        <translation>Максимальный</translation>
    </message>
    <message>
        <source>Ultra</source>
        <translation>Ультра</translation>
    </message>
    <message>
        <source>Deflate</source>
        <translation>Deflate</translation>
    </message>
    <message>
        <source>Deflate64</source>
        <translation>Deflate64</translation>
    </message>
    <message>
        <source>LZMA2</source>
        <translation>LZMA2</translation>
    </message>
    <message>
        <source>LZMA</source>
        <translation>LZMA</translation>
    </message>
    <message>
        <source>PPMd</source>
        <translation>PPMd</translation>
    </message>
    <message>
        <source>BZip2</source>
        <translation>BZip2</translation>
    </message>
    <message>
        <source>The qv format scrambles the data with the password against casual reading. For strong protection choose 7z, which encrypts with AES-256.</source>
        <translation>Формат qv лишь перемешивает данные с паролем, защищая их от случайного прочтения. Для надёжной защиты выберите 7z: он шифрует по AES-256.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Invalid volume size</source>
        <translation>Неверный размер тома</translation>
    </message>
    <message>
        <source>Add to archive</source>
        <translation>Добавить в архив</translation>
    </message>
</context>
<context>
    <name>ConflictDialog</name>
    <message>
        <source>File exists</source>
        <translation>Файл существует</translation>
    </message>
    <message>
        <source>File:</source>
        <translation>Файл:</translation>
    </message>
    <message>
        <source>already exists. Replace it with the file:</source>
        <translation>уже существует. Заменить его файлом:</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Заменить</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Переименовать</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Пропустить</translation>
    </message>
    <message>
        <source>Replace All</source>
        <translation>Заменить все</translation>
    </message>
    <message>
        <source>Rename All</source>
        <translation>Переименовать все</translation>
    </message>
    <message>
        <source>Skip All</source>
        <translation>Пропустить все</translation>
    </message>
    <message>
        <source>Size: </source>
        <translation>Размер: </translation>
    </message>
    <message>
        <source>Modified: </source>
        <translation>Изменён: </translation>
    </message>
    <message>
        <source>Changed: </source>
        <translation>Изменён: </translation>
    </message>
    <message>
        <source>Error happened during attempt to delete directory:</source>
        <translation>Ошибка при попытке удалить папку:</translation>
    </message>
    <message>
        <source>Error happened during attempt to delete file:</source>
        <translation>Ошибка при попытке удалить файл:</translation>
    </message>
    <message>
        <source>Error happened during attempt to open directory:</source>
        <translation>Ошибка при попытке открыть папку:</translation>
    </message>
    <message>
        <source>Error happened during attempt to open file:</source>
        <translation>Ошибка при попытке открыть файл:</translation>
    </message>
    <message>
        <source>Access denied</source>
        <translation>Доступ запрещён</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Повторить</translation>
    </message>
    <message>
        <source>Retry as administrator</source>
        <translation>Повторить от имени администратора</translation>
    </message>
    <message>
        <source>Use acquired administrator privileges for all further operations</source>
        <translation>Использовать полученные права администратора для всех дальнейших операций</translation>
    </message>
</context>
<context>
    <name>CopyDialog</name>
    <message>
        <source>Move</source>
        <translation>Перемещение</translation>
    </message>
    <message>
        <source>Move to:</source>
        <translation>Переместить в:</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Удаление</translation>
    </message>
    <message>
        <source>Delete:</source>
        <translation>Удалить:</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Копирование</translation>
    </message>
    <message>
        <source>Copy to:</source>
        <translation>Копировать в:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation>Выбор папки</translation>
    </message>
</context>
<context>
    <name>CopyProgressDialog</name>
    <message>
        <source>Moving...</source>
        <translation>Перемещение...</translation>
    </message>
    <message>
        <source>Copying...</source>
        <translation>Копирование...</translation>
    </message>
    <message>
        <source>Passed:</source>
        <translation>Прошло:</translation>
    </message>
    <message>
        <source>Left:</source>
        <translation>Осталось:</translation>
    </message>
    <message>
        <source>Speed:</source>
        <translation>Скорость:</translation>
    </message>
    <message>
        <source>Total:</source>
        <translation>Всего:</translation>
    </message>
    <message>
        <source>Number:</source>
        <translation>Количество:</translation>
    </message>
    <message>
        <source>Processed:</source>
        <translation>Обработано:</translation>
    </message>
    <message>
        <source>Do not close this window after the operation</source>
        <translation>Не закрывать это окно после завершения операции</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>An error occurred while moving. %1</source>
        <translation>Ошибка при перемещении. %1</translation>
    </message>
    <message>
        <source>An error occurred while copying. %1</source>
        <translation>Ошибка при копировании. %1</translation>
    </message>
</context>
<context>
    <name>DeleteProgressDialog</name>
    <message>
        <source>Deleting...</source>
        <translation>Удаление...</translation>
    </message>
    <message>
        <source>Deleted</source>
        <translation>Удалено</translation>
    </message>
    <message>
        <source>Do not close this window after the operation</source>
        <translation>Не закрывать это окно после завершения операции</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Failed to delete %1 item(s)</source>
        <translation>Не удалось удалить объектов: %1</translation>
    </message>
    <message>
        <source>Failed to delete the following items:</source>
        <translation>Не удалось удалить следующие объекты:</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>и ещё %1</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Interrupt</source>
        <translation>Прерывание</translation>
    </message>
    <message>
        <source>Are you sure you want to abort the operation?</source>
        <translation>Вы действительно хотите прервать операцию?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Да</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Нет</translation>
    </message>
</context>
<context>
    <name>ExtractDialog</name>
    <message>
        <source>Unpacking Options</source>
        <translation>Параметры извлечения</translation>
    </message>
    <message>
        <source>Unpack to:</source>
        <translation>Извлечь в:</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>File paths:</source>
        <translation>Пути файлов:</translation>
    </message>
    <message>
        <source>Overwrite:</source>
        <translation>Перезапись:</translation>
    </message>
    <message>
        <source>Eliminate duplication of the root directory</source>
        <translation>Устранять дублирование корневой папки</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Relative paths</source>
        <translation>Относительные пути</translation>
    </message>
    <message>
        <source>Without paths</source>
        <translation>Без путей</translation>
    </message>
    <message>
        <source>Full paths</source>
        <translation>Полные пути</translation>
    </message>
    <message>
        <source>With confirmation</source>
        <translation>С подтверждением</translation>
    </message>
    <message>
        <source>Without confirmation</source>
        <translation>Без подтверждения</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Пропускать</translation>
    </message>
    <message>
        <source>Rename automatically</source>
        <translation>Переименовывать автоматически</translation>
    </message>
    <message>
        <source>Rename existing</source>
        <translation>Переименовывать существующие</translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation>Выбор папки</translation>
    </message>
</context>
<context>
    <name>FileClient</name>
    <message>
        <source>no listening socket of the elevated file server was found on port %1, so nothing was sent to it</source>
        <translation>на порту %1 не найден слушающий сокет файлового сервера с повышенными правами, поэтому ему ничего не отправлено</translation>
    </message>
    <message>
        <source>the elevated file server on port %1 does not run as root (its owner is user %2), so nothing was sent to it</source>
        <translation>файловый сервер с повышенными правами на порту %1 запущен не от имени root (его владелец — пользователь %2), поэтому ему ничего не отправлено</translation>
    </message>
</context>
<context>
    <name>FileSystemModel</name>
    <message>
        <source>Name</source>
        <translation>Имя</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Размер</translation>
    </message>
    <message>
        <source>Date modified</source>
        <translation>Дата изменения</translation>
    </message>
</context>
<context>
    <name>FileUtils</name>
    <message>
        <source>no trash folder was found</source>
        <translation>папка корзины не найдена</translation>
    </message>
</context>
<context>
    <name>LineInputDialog</name>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Cannot open the archive %1</source>
        <translation>Не удалось открыть архив %1</translation>
    </message>
    <message>
        <source>The specified path does not exist</source>
        <translation>Указанный путь не существует</translation>
    </message>
    <message>
        <source>Source and destination files are the same. %1</source>
        <translation>Исходный и целевой файлы совпадают. %1</translation>
    </message>
    <message>
        <source>Add to archive...</source>
        <translation>Добавить в архив...</translation>
    </message>
    <message>
        <source>Extract the archive...</source>
        <translation>Извлечь архив...</translation>
    </message>
    <message>
        <source>Extract here</source>
        <translation>Извлечь сюда</translation>
    </message>
    <message>
        <source>Create directory</source>
        <translation>Создать папку</translation>
    </message>
    <message>
        <source>Add file(s)...</source>
        <translation>Добавить файлы...</translation>
    </message>
    <message>
        <source>Add Directory...</source>
        <translation>Добавить папку...</translation>
    </message>
    <message>
        <source>Copy...</source>
        <translation>Копировать...</translation>
    </message>
    <message>
        <source>Move...</source>
        <translation>Переместить...</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Переименовать</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Удалить</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Путь</translation>
    </message>
    <message>
        <source>Up button</source>
        <translation>Кнопка «Вверх»</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Панель инструментов</translation>
    </message>
    <message>
        <source>Two-panel view</source>
        <translation>Две панели</translation>
    </message>
    <message>
        <source>Quenvar</source>
        <translation>Quenvar</translation>
    </message>
    <message>
        <source>F&amp;ile</source>
        <translation>&amp;Файл</translation>
    </message>
    <message>
        <source>View</source>
        <translation>Вид</translation>
    </message>
    <message>
        <source>S&amp;ettings</source>
        <translation>&amp;Настройки</translation>
    </message>
    <message>
        <source>H&amp;elp</source>
        <translation>&amp;Справка</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>Add directory...</source>
        <translation>Добавить папку...</translation>
    </message>
    <message>
        <source>Extract to </source>
        <translation>Извлечь в </translation>
    </message>
    <message>
        <source>Source and its subsidiary folders cannot be destination folders.</source>
        <translation>Исходная папка и вложенные в неё папки не могут быть папками назначения.</translation>
    </message>
    <message>
        <source>A file or folder named &quot;%1&quot; already exists.</source>
        <translation>Файл или папка с именем «%1» уже существует.</translation>
    </message>
    <message>
        <source>Add Directory</source>
        <translation>Добавить папку</translation>
    </message>
    <message>
        <source>Add file(s)</source>
        <translation>Добавить файлы</translation>
    </message>
    <message numerus="yes">
        <source>%n item(s)</source>
        <translation>
            <numerusform>%n элемент</numerusform>
            <numerusform>%n элемента</numerusform>
            <numerusform>%n элементов</numerusform>
        </translation>
    </message>
    <message>
        <source>Are you sure you want to delete </source>
        <translation>Вы действительно хотите удалить </translation>
    </message>
    <message>
        <source>New folder</source>
        <translation>Новая папка</translation>
    </message>
    <message>
        <source>Cannot create folder %1</source>
        <translation>Не удалось создать папку %1</translation>
    </message>
</context>
<context>
    <name>NewFolderDialog</name>
    <message>
        <source>New Folder</source>
        <translation>Новая папка</translation>
    </message>
    <message>
        <source>Folder Name:</source>
        <translation>Имя папки:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Enter a name for the new folder</source>
        <translation>Введите имя новой папки</translation>
    </message>
</context>
<context>
    <name>PasswordDialog</name>
    <message>
        <source>Enter password</source>
        <translation>Ввод пароля</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Пароль:</translation>
    </message>
    <message>
        <source>Accept</source>
        <translation>Принять</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Enter archive password</source>
        <translation>Введите пароль архива</translation>
    </message>
</context>
<context>
    <name>QtFileCopier</name>
    <message>
        <source>%1: %2.</source>
        <translation>%1: %2.</translation>
    </message>
    <message>
        <source>No error.</source>
        <translation>Нет ошибок.</translation>
    </message>
    <message>
        <source>Source does not exist.</source>
        <translation>Источник не существует.</translation>
    </message>
    <message>
        <source>Destination already exists..</source>
        <translation>Объект назначения уже существует.</translation>
    </message>
    <message>
        <source>Source directory omitted.</source>
        <translation>Исходная папка пропущена.</translation>
    </message>
    <message>
        <source>Source file omitted.</source>
        <translation>Исходный файл пропущен.</translation>
    </message>
    <message>
        <source>Path to destination does not exist.</source>
        <translation>Путь назначения не существует.</translation>
    </message>
    <message>
        <source>Cannot create destination directory.</source>
        <translation>Не удалось создать папку назначения.</translation>
    </message>
    <message>
        <source>Cannot open source file.</source>
        <translation>Не удалось открыть исходный файл.</translation>
    </message>
    <message>
        <source>Cannot open destination file.</source>
        <translation>Не удалось открыть целевой файл.</translation>
    </message>
    <message>
        <source>Cannot remove destination file.</source>
        <translation>Не удалось удалить целевой файл.</translation>
    </message>
    <message>
        <source>Cannot create symbolic link.</source>
        <translation>Не удалось создать символьную ссылку.</translation>
    </message>
    <message>
        <source>Cannot read source file.</source>
        <translation>Не удалось прочитать исходный файл.</translation>
    </message>
    <message>
        <source>Cannot write destination file.</source>
        <translation>Не удалось записать целевой файл.</translation>
    </message>
    <message>
        <source>Cannot remove source.</source>
        <translation>Не удалось удалить источник.</translation>
    </message>
    <message>
        <source>Canceled.</source>
        <translation>Отменено.</translation>
    </message>
</context>
<context>
    <name>SettingsDialog</name>
    <message>
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Общие</translation>
    </message>
    <message>
        <source>Enable Explorer context menu</source>
        <translation>Включить контекстное меню проводника</translation>
    </message>
    <message>
        <source>Eliminate duplication of the root directory</source>
        <translation>Устранять дублирование корневой папки</translation>
    </message>
    <message>
        <source>Move deleted item(s) to trash</source>
        <translation>Перемещать удаляемые объекты в корзину</translation>
    </message>
    <message>
        <source>Use another panel directory as target</source>
        <translation>Использовать папку другой панели как место назначения</translation>
    </message>
    <message>
        <source>Delete source files when moving with conflicts</source>
        <translation>Удалять исходные файлы при перемещении с конфликтами</translation>
    </message>
    <message>
        <source>Append number to suggested path if directory exists</source>
        <translation>Добавлять номер к предлагаемому пути, если папка существует</translation>
    </message>
    <message>
        <source>List hidden items</source>
        <translation>Показывать скрытые объекты</translation>
    </message>
    <message>
        <source>Archive hidden items</source>
        <translation>Архивировать скрытые объекты</translation>
    </message>
    <message>
        <source>Remember last opened path</source>
        <translation>Запоминать последний открытый путь</translation>
    </message>
    <message>
        <source>Do not open archives on saved paths</source>
        <translation>Не открывать архивы на сохранённых путях</translation>
    </message>
    <message>
        <source>File Associations:</source>
        <translation>Ассоциации файлов:</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Язык</translation>
    </message>
    <message>
        <source>Hotkeys</source>
        <translation>Горячие клавиши</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Open/Execute Selected Item</source>
        <translation>Открыть/выполнить выбранный объект</translation>
    </message>
    <message>
        <source>Open Parent Directory</source>
        <translation>Открыть родительскую папку</translation>
    </message>
    <message>
        <source>Move Selected Item(s) to Trash</source>
        <translation>Переместить выбранные объекты в корзину</translation>
    </message>
    <message>
        <source>Delete Selected Item(s)</source>
        <translation>Удалить выбранные объекты</translation>
    </message>
    <message>
        <source>Rename Selected Item</source>
        <translation>Переименовать выбранный объект</translation>
    </message>
    <message>
        <source>Refresh Panel</source>
        <translation>Обновить панель</translation>
    </message>
    <message>
        <source>Create Folder</source>
        <translation>Создать папку</translation>
    </message>
    <message>
        <source>Put Focus on Address Bar</source>
        <translation>Перейти в адресную строку</translation>
    </message>
    <message>
        <source>Copy Selected Item(s)</source>
        <translation>Копировать выбранные объекты</translation>
    </message>
    <message>
        <source>Cut Selected Item(s)</source>
        <translation>Вырезать выбранные объекты</translation>
    </message>
    <message>
        <source>Paste Selected Item(s)</source>
        <translation>Вставить выбранные объекты</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>По умолчанию</translation>
    </message>
    <message>
        <source> or </source>
        <translation> или </translation>
    </message>
</context>
<context>
    <name>filearchive</name>
    <message>
        <source>No files to pack</source>
        <translation>Нет файлов для упаковки</translation>
    </message>
    <message>
        <source>No archive name is stated</source>
        <translation>Не указано имя архива</translation>
    </message>
    <message>
        <source>Cannot create directory</source>
        <translation>Не удалось создать папку</translation>
    </message>
    <message>
        <source>Cannot create archiving object</source>
        <translation>Не удалось создать объект архивации</translation>
    </message>
    <message>
        <source>Cannot extract archive. Format is not supported</source>
        <translation>Не удалось извлечь архив. Формат не поддерживается</translation>
    </message>
    <message>
        <source>Cannot create file %1</source>
        <translation>Не удалось создать файл %1</translation>
    </message>
    <message>
        <source>Cannot rename file %1 to %2</source>
        <translation>Не удалось переименовать файл %1 в %2</translation>
    </message>
    <message>
        <source>Cannot remove file %1</source>
        <translation>Не удалось удалить файл %1</translation>
    </message>
    <message>
        <source>Cannot open file %1</source>
        <translation>Не удалось открыть файл %1</translation>
    </message>
    <message>
        <source>Internal error of unpacker %1</source>
        <translation>Внутренняя ошибка распаковщика %1</translation>
    </message>
    <message>
        <source>Cannot create folder %1</source>
        <translation>Не удалось создать папку %1</translation>
    </message>
    <message>
        <source>Cannot determine the parameters for archiving</source>
        <translation>Не удалось определить параметры архивации</translation>
    </message>
    <message>
        <source>Error: filename of archive is the same as one of the files for packing %1</source>
        <translation>Ошибка: имя архива совпадает с одним из упаковываемых файлов %1</translation>
    </message>
    <message>
        <source>Error: cannot add to multi-volume archive %1</source>
        <translation>Ошибка: нельзя добавлять файлы в многотомный архив %1</translation>
    </message>
    <message>
        <source>Adding itself or its parent directory to the archive is not allowed</source>
        <translation>Нельзя добавить в архив сам архив или папку, в которой он находится</translation>
    </message>
    <message>
        <source>Cannot write archive %1</source>
        <translation>Не удалось записать архив %1</translation>
    </message>
    <message>
        <source>Cannot split the archive into volumes of %1 bytes: a volume holds 1 to 2147483647 bytes</source>
        <translation>Нельзя разбить архив на тома по %1 байт: размер тома — от 1 до 2147483647 байт</translation>
    </message>
    <message>
        <source>Cannot open file %1: %2</source>
        <translation>Не удалось открыть файл %1: %2</translation>
    </message>
    <message>
        <source>Cannot read file %1: %2</source>
        <translation>Не удалось прочитать файл %1: %2</translation>
    </message>
    <message>
        <source>Cannot write file %1: %2</source>
        <translation>Не удалось записать файл %1: %2</translation>
    </message>
    <message>
        <source>These files cannot be read and were not added; entries of their names stay as they were: %1</source>
        <translation>Эти файлы не удалось прочитать, и они не добавлены; записи с их именами остались прежними: %1</translation>
    </message>
    <message>
        <source>Cannot split %1 into volumes: an archive that exists is updated as one file</source>
        <translation>Нельзя разбить %1 на тома: существующий архив обновляется как один файл</translation>
    </message>
    <message>
        <source>the elevated file server could not do it</source>
        <translation>файловый сервер с повышенными правами не смог это сделать</translation>
    </message>
    <message>
        <source>These entries of %1 were not extracted: their names lead outside the target folder: %2</source>
        <translation>Эти записи из %1 не извлечены, так как их имена ведут за пределы целевой папки: %2</translation>
    </message>
    <message>
        <source>These entries of %1 were not extracted: their compression method is not supported: %2</source>
        <translation>Эти записи из %1 не извлечены, так как их метод сжатия не поддерживается: %2</translation>
    </message>
    <message>
        <source>These entries of %1 were not extracted: their data is damaged: %2</source>
        <translation>Эти записи из %1 не извлечены, так как их данные повреждены: %2</translation>
    </message>
    <message>
        <source>These entries of %1 were not extracted: their files could not be written: %2</source>
        <translation>Эти записи из %1 не извлечены, так как их файлы не удалось записать: %2</translation>
    </message>
    <message>
        <source>Cannot open archive %1: %2</source>
        <translation>Не удалось открыть архив %1: %2</translation>
    </message>
    <message>
        <source>The archive %1 is damaged: %2</source>
        <translation>Архив %1 повреждён: %2</translation>
    </message>
    <message>
        <source>not an archive of a known format</source>
        <translation>это не архив известного формата</translation>
    </message>
    <message>
        <source>headers error</source>
        <translation>ошибка заголовков</translation>
    </message>
    <message>
        <source>headers error in encrypted archive (wrong password?)</source>
        <translation>ошибка заголовков в зашифрованном архиве (неверный пароль?)</translation>
    </message>
    <message>
        <source>the start of the archive is missing</source>
        <translation>начало архива отсутствует</translation>
    </message>
    <message>
        <source>the start of the archive is not confirmed</source>
        <translation>начало архива не подтверждено</translation>
    </message>
    <message>
        <source>unexpected end of archive</source>
        <translation>неожиданный конец архива</translation>
    </message>
    <message>
        <source>data after the end of the archive</source>
        <translation>данные после конца архива</translation>
    </message>
    <message>
        <source>unsupported feature</source>
        <translation>неподдерживаемая возможность</translation>
    </message>
    <message>
        <source>unsupported method</source>
        <translation>неподдерживаемый метод</translation>
    </message>
    <message>
        <source>data error</source>
        <translation>ошибка данных</translation>
    </message>
    <message>
        <source>CRC error</source>
        <translation>ошибка CRC</translation>
    </message>
    <message>
        <source>error flags 0x%1</source>
        <translation>флаги ошибок 0x%1</translation>
    </message>
    <message>
        <source>data not available</source>
        <translation>данные недоступны</translation>
    </message>
    <message>
        <source>unexpected end of data</source>
        <translation>неожиданный конец данных</translation>
    </message>
    <message>
        <source>data after the end of the entry</source>
        <translation>данные после конца записи</translation>
    </message>
    <message>
        <source>not an archive</source>
        <translation>не архив</translation>
    </message>
    <message>
        <source>wrong password</source>
        <translation>неверный пароль</translation>
    </message>
    <message>
        <source>error %1</source>
        <translation>ошибка %1</translation>
    </message>
    <message>
        <source>not enough memory</source>
        <translation>недостаточно памяти</translation>
    </message>
    <message>
        <source>the archive engine failed (0x%1)</source>
        <translation>сбой механизма архивации (0x%1)</translation>
    </message>
    <message>
        <source>it is no gzip, bzip2 or xz file</source>
        <translation>это не файл gzip, bzip2 или xz</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Pack the paths into a new archive beside the first of them, asking for the archive&apos;s options first.</source>
        <translation>Упаковать пути в новый архив рядом с первым из них, сначала спросив параметры архива.</translation>
    </message>
    <message>
        <source>As &quot;a&quot;, then offer the archive for mailing (nothing is sent on this system).</source>
        <translation>Как «a», затем предложить отправить архив почтой (в этой системе ничего не отправляется).</translation>
    </message>
    <message>
        <source>Run the XML operation file given as the first path, without dialogs.</source>
        <translation>Выполнить XML-файл операции, указанный первым путём, без диалогов.</translation>
    </message>
    <message>
        <source>Extract the first archive, asking for the options first.</source>
        <translation>Извлечь первый архив, сначала спросив параметры.</translation>
    </message>
    <message>
        <source>Extract the first archive into the folder that holds it.</source>
        <translation>Извлечь первый архив в папку, в которой он лежит.</translation>
    </message>
    <message>
        <source>Extract the first archive into a folder named after it.</source>
        <translation>Извлечь первый архив в папку с его именем.</translation>
    </message>
    <message>
        <source>Extract every archive given, asking for the options once.</source>
        <translation>Извлечь все указанные архивы, спросив параметры один раз.</translation>
    </message>
    <message>
        <source>Extract every archive given into the folder that holds it.</source>
        <translation>Извлечь каждый указанный архив в папку, в которой он лежит.</translation>
    </message>
    <message>
        <source>Extract every archive given into a folder named after it.</source>
        <translation>Извлечь каждый указанный архив в папку с его именем.</translation>
    </message>
    <message>
        <source>Open the main window showing the first archive.</source>
        <translation>Открыть главное окно с первым архивом.</translation>
    </message>
    <message>
        <source>Open the main window without an archive.</source>
        <translation>Открыть главное окно без архива.</translation>
    </message>
    <message>
        <source>Make Quenvar the handler of the archive types in the user&apos;s mimeapps.list.</source>
        <translation>Сделать Quenvar обработчиком типов архивов в файле mimeapps.list пользователя.</translation>
    </message>
    <message>
        <source>Kept for scripts of other systems: only writes a line to the log.</source>
        <translation>Оставлена для сценариев других систем: только пишет строку в журнал.</translation>
    </message>
    <message>
        <source>Withdraw those associations and remove the program&apos;s log folder.</source>
        <translation>Отменить эти ассоциации и удалить папку журнала программы.</translation>
    </message>
    <message>
        <source>Commands (the value of --command):</source>
        <translation>Команды (значение --command):</translation>
    </message>
    <message>
        <source>Source directory &lt;directory&gt;.</source>
        <translation>Исходная папка &lt;папка&gt;.</translation>
    </message>
    <message>
        <source>directory</source>
        <translation>папка</translation>
    </message>
    <message>
        <source>command</source>
        <translation>команда</translation>
    </message>
    <message>
        <source>output archive or dir</source>
        <translation>архив или папка назначения</translation>
    </message>
    <message>
        <source>Show this help: the options and the commands.</source>
        <translation>Показать эту справку: параметры и команды.</translation>
    </message>
    <message>
        <source>Quenvar, a two-panel file manager and archiver. With a command it runs one operation and exits; without one it opens the main window, showing the archive given last.</source>
        <translation>Quenvar, двухпанельный файловый менеджер и архиватор. С командой выполняет одну операцию и завершается; без неё открывает главное окно с архивом, указанным последним.</translation>
    </message>
    <message>
        <source>paths</source>
        <translation>пути</translation>
    </message>
    <message>
        <source>The files and archives of the command.</source>
        <translation>Файлы и архивы для команды.</translation>
    </message>
    <message>
        <source>[paths...]</source>
        <translation>[пути...]</translation>
    </message>
    <message>
        <source>quenvar: the command &quot;%1&quot; needs a display</source>
        <translation>quenvar: команде «%1» нужен дисплей</translation>
    </message>
    <message>
        <source>quenvar: the main window needs a display</source>
        <translation>quenvar: главному окну нужен дисплей</translation>
    </message>
    <message>
        <source>quenvar: cannot start %1: %2</source>
        <translation>quenvar: не удаётся запустить %1: %2</translation>
    </message>
    <message>
        <source>quenvar: the command &quot;%1&quot; needs a file or archive path</source>
        <translation>quenvar: команде «%1» нужен путь к файлу или архиву</translation>
    </message>
    <message>
        <source>quenvar: cannot read the operation file %1</source>
        <translation>quenvar: не удалось прочитать файл операции %1</translation>
    </message>
    <message>
        <source>quenvar: the volume size &quot;%1&quot; in %2 is not a whole number of MiB; nothing was written</source>
        <translation>quenvar: размер тома «%1» в %2 не является целым числом МиБ; ничего не записано</translation>
    </message>
    <message>
        <source>quenvar: the archive %1 was written without the files it could not read</source>
        <translation>quenvar: архив %1 записан без файлов, которые не удалось прочитать</translation>
    </message>
    <message>
        <source>quenvar: the archive %1 was not written</source>
        <translation>quenvar: архив %1 не записан</translation>
    </message>
    <message>
        <source>quenvar: the operation file %1 names no archive to extract</source>
        <translation>quenvar: в файле операции %1 не указан архив для извлечения</translation>
    </message>
    <message>
        <source>quenvar: the extraction of %1 did not complete</source>
        <translation>quenvar: извлечение %1 не завершено</translation>
    </message>
    <message>
        <source>Exit codes:</source>
        <translation>Коды завершения:</translation>
    </message>
    <message>
        <source>The command did all it was asked to do.</source>
        <translation>Команда выполнила всё, что от неё требовалось.</translation>
    </message>
    <message>
        <source>An operation failed, was cancelled (its dialog too) or left something out: an archive that is missing, no archive or damaged, an entry not extracted, a source not packed. Also a command without the path it needs, a command that needs a display where there is none, and a wrong option.</source>
        <translation>Операция не удалась, была отменена (в том числе в её диалоге) или что-то пропустила: архив отсутствует, не является архивом или повреждён, запись не извлечена, источник не упакован. А также команда без нужного ей пути, команда, которой нужен дисплей там, где его нет, и неверный параметр.</translation>
    </message>
</context>
<context>
    <name>utils</name>
    <message>
        <source>Users</source>
        <translation>Пользователи</translation>
    </message>
    <message>
        <source>Are common</source>
        <translation>Общие</translation>
    </message>
    <message>
        <source>Shared desktop</source>
        <translation>Общий рабочий стол</translation>
    </message>
    <message>
        <source>General documents</source>
        <translation>Общие документы</translation>
    </message>
    <message>
        <source>Shared videos</source>
        <translation>Общие видео</translation>
    </message>
    <message>
        <source>Public Avatars</source>
        <translation>Общие аватары</translation>
    </message>
    <message>
        <source>General downloaded files</source>
        <translation>Общие загруженные файлы</translation>
    </message>
    <message>
        <source>Favorites</source>
        <translation>Избранное</translation>
    </message>
    <message>
        <source>Common Images</source>
        <translation>Общие изображения</translation>
    </message>
    <message>
        <source>Shared libraries</source>
        <translation>Общие библиотеки</translation>
    </message>
    <message>
        <source>General Music</source>
        <translation>Общая музыка</translation>
    </message>
    <message>
        <source>Desktop</source>
        <translation>Рабочий стол</translation>
    </message>
    <message>
        <source>Documentation</source>
        <translation>Документы</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Видео</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Загрузки</translation>
    </message>
    <message>
        <source>Images</source>
        <translation>Изображения</translation>
    </message>
    <message>
        <source>Contacts</source>
        <translation>Контакты</translation>
    </message>
    <message>
        <source>Music</source>
        <translation>Музыка</translation>
    </message>
    <message>
        <source>Volumetric objects</source>
        <translation>Объёмные объекты</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Поиски</translation>
    </message>
    <message>
        <source>Saved Games</source>
        <translation>Сохранённые игры</translation>
    </message>
    <message>
        <source>Links</source>
        <translation>Ссылки</translation>
    </message>
    <message>
        <source>Camera Roll</source>
        <translation>Альбом камеры</translation>
    </message>
    <message>
        <source>Saved Pictures</source>
        <translation>Сохранённые фотографии</translation>
    </message>
    <message>
        <source>Screenshots</source>
        <translation>Снимки экрана</translation>
    </message>
    <message>
        <source>Captures</source>
        <translation>Клипы</translation>
    </message>
    <message>
        <source>B</source>
        <translation>Б</translation>
    </message>
    <message>
        <source>KB</source>
        <translation>КБ</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>МБ</translation>
    </message>
    <message>
        <source>GB</source>
        <translation>ГБ</translation>
    </message>
</context>
</TS>
