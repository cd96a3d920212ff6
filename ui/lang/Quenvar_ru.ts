<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
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
    <name>main</name>
    <message>
        <source>Pack the paths into a new archive beside the first of them, asking for the archive&apos;s options first.</source>
        <translation>Упаковать пути в новый архив рядом с первым из них, сначала спросив параметры архива.</translation>
    </message>
    <message>
        <source>As &quot;a&quot;, then offer the archive for mailing (nothing is sent on this system).</source>
        <translation>Как «a», затем предложить архив для отправки почтой (в этой системе ничего не отправляется).</translation>
    </message>
    <message>
        <source>Run the XML operation file given as the first path, without dialogs.</source>
        <translation>Выполнить XML-файл операции, указанный первым путём, без диалогов.</translation>
    </message>
    <message>
        <source>Extract the first archive, asking for the options first.</source>
        <translation>Распаковать первый архив, сначала спросив параметры.</translation>
    </message>
    <message>
        <source>Extract the first archive into the folder that holds it.</source>
        <translation>Распаковать первый архив в папку, в которой он лежит.</translation>
    </message>
    <message>
        <source>Extract the first archive into a folder named after it.</source>
        <translation>Распаковать первый архив в папку с его именем.</translation>
    </message>
    <message>
        <source>Extract every archive given, asking for the options once.</source>
        <translation>Распаковать все указанные архивы, спросив параметры один раз.</translation>
    </message>
    <message>
        <source>Extract every archive given into the folder that holds it.</source>
        <translation>Распаковать каждый указанный архив в папку, в которой он лежит.</translation>
    </message>
    <message>
        <source>Extract every archive given into a folder named after it.</source>
        <translation>Распаковать каждый указанный архив в папку с его именем.</translation>
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
        <translation>Исходная папка &lt;directory&gt;.</translation>
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
        <source>quenvar: the command &quot;%1&quot; needs a file or archive path</source>
        <translation>quenvar: команде «%1» нужен путь к файлу или архиву</translation>
    </message>
</context>
</TS>
