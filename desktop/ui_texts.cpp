#include "desktop/ui_texts.h"

namespace desktop {

namespace {

UiTexts MakeRussian() {
  UiTexts t;
  t.russian = true;
  t.start = "Старт";
  t.halt = "Прервать";
  t.standby = "Ожидание";
  t.done = "Готово!";
  t.selectFile = "Выберите файл для обработки!";
  t.selectMode = "Выберите режим кодирования!";
  t.allDone = "Все задания завершены!";
  t.video = "Видео ";
  t.pass = " проход ";
  t.of = " из ";
  t.audio = "Аудио ";
  t.muxing = "Муксинг ";
  t.modeNames[0] = "превью";
  t.modeNames[1] = "стандартная";
  t.modeNames[2] = "делюкс";
  t.quitQuery = "Кодирование в процессе. Прервать и выйти?";
  t.prevSettings = "Настройки превью";
  t.stdSettings = "Настройки стандартной";
  t.noHelp = "Не удалось загрузить файл справки.";
  t.unsupported = "Неподдерживаемый формат";
  t.nameNotCarried = "Имя файла содержит перевод строки или три кавычки подряд. Переименуйте файл.";
  t.noHelpViewer = "Не найдена программа для просмотра справки.";
  t.modesFailed = "Не удалось закодировать: ";
  t.muxFailed = "Не удалось собрать файл.";
  t.detailsStage = "Этап: ";
  t.detailsCommand = "Команда: ";
  t.detailsExitCode = "Код завершения: ";
  t.detailsSignal = "Завершена сигналом ";
  t.detailsNotStarted = "Программу не удалось запустить.";
  t.detailsNoOutputFile = "Файл не создан: ";
  t.detailsLastLines = "Последние строки вывода:";
  t.detailsNoLines = "(вывода нет)";
  t.detailsFolderNotWritable = "Папка временных файлов недоступна для записи: ";
  t.logJob = "Задание: ";
  t.logModes = "Режимы: ";
  t.logDoneIn = "готово за ";
  t.logFailedAfter = "ошибка через ";
  t.logJobDone = "Задание завершено за ";
  t.logJobHalted = "Задание прервано через ";
  t.logSeconds = " с";
  t.logJobNotStarted = "Задание не начато: ";
  t.logJobStopped = "Задание остановлено сигналом через ";
  t.logJobInterrupted = "Задание оборвалось: программа завершилась, не закончив его";
  t.folderRefused = "Рабочую папку нельзя использовать: ";
  t.outputsRefused = "Результат некуда записать: ";

  t.fileGroup = "Файл для кодирования ";
  t.selectFileHint = "Выбрать видео";
  t.tagsGroup = "Информация о клипе (tags)";
  t.authorLabel = "Автор:";
  t.titleLabel = "Название:";
  t.afterJobLabel = "Что делать после кодировки";
  t.workModeGroup = "Режим работы";
  t.previewBox = "Превью";
  t.standardBox = "Стандарт";
  t.deluxeBox = "Делюкс";
  t.previewHint = "Настройки превью";
  t.standardHint = "Настройки стандартной";
  t.helpHint = "Показать справку";
  t.afterJobItems = {"Ничего не делать", "Выключение", "Сон", "Гибернация", "Проиграть звук"};
  // The first letter of the sound entry is a Latin capital A.
  t.openFilter = {"Все файлы(*.avi;*.avs;*.wav;*.vpy;*.png;*.jpg) (*.avi *.avs *.wav *.vpy *.png *.jpg)",
                  "Видеофайл (*.avi) (*.avi)",
                  "Скрипты (*.avs;*.vpy) (*.avs *.vpy)",
                  "Aудио(*.wav) (*.wav)",
                  "Секвенции(*.png;*.jpg) (*.png *.jpg)"};
  t.batchCaption = "Пакетная обработка";
  t.batchAdd = "Добавить...";
  t.batchRemove = "Убрать";
  t.batchUp = "Выше";
  t.batchDown = "Ниже";
  t.batchWaiting = "ожидает";
  t.batchRunning = "идёт";
  t.batchDone = "готово";
  t.batchFailed = "ошибка";
  t.batchInterrupted = "прервано, начнётся заново";
  t.batchSourcesFailed = "Не удалось обработать: ";
  t.batchMissing = "Файл не найден";
  t.batchNotSaved = "Список не удалось сохранить: ";
  t.batchSourceColumn = "Источник";
  t.batchStateColumn = "Состояние";
  t.batchResultColumn = "Результат или причина";
  t.batchLeft = " осталось";
  t.batchProgress = "Готово %1 из %2, всего %3%";
  t.offsetMain = 50;
  t.offsetQuit = 12;
  t.offsetHelp = 33;
  return t;
}

UiTexts MakeEnglish() {
  UiTexts t;
  t.russian = false;
  t.start = "Start";
  t.halt = "Halt";
  t.standby = "Standby";
  t.done = "Done!";
  t.selectFile = "Select a file to encode!";
  t.selectMode = "Select a coding mode!";
  t.allDone = "All tasks are complete!";
  t.video = "Video ";
  t.pass = " pass ";
  t.of = " of ";
  t.audio = "Audio ";
  t.muxing = "Muxing ";
  t.modeNames[0] = "preview";
  t.modeNames[1] = "standard";
  t.modeNames[2] = "deluxe";
  t.quitQuery = "Encoding in progress. Halt and quit?";
  t.prevSettings = "Preview mode settings";
  t.stdSettings = "Standard mode settings";
  t.noHelp = "Error loading help file.";
  t.unsupported = "Unsupported format";
  t.nameNotCarried = "The file name holds a line break or three quotes in a row. Rename the file.";
  t.noHelpViewer = "No program was found to display the help file.";
  t.modesFailed = "Encoding failed: ";
  t.muxFailed = "The file could not be muxed.";
  t.detailsStage = "Stage: ";
  t.detailsCommand = "Command: ";
  t.detailsExitCode = "Exit code: ";
  t.detailsSignal = "Ended by signal ";
  t.detailsNotStarted = "The program could not be started.";
  t.detailsNoOutputFile = "No output file: ";
  t.detailsLastLines = "Last lines of output:";
  t.detailsNoLines = "(no output)";
  t.detailsFolderNotWritable = "The folder for intermediate files cannot be written: ";
  t.logJob = "Job: ";
  t.logModes = "Modes: ";
  t.logDoneIn = "done in ";
  t.logFailedAfter = "failed after ";
  t.logJobDone = "Job finished in ";
  t.logJobHalted = "Job halted after ";
  t.logSeconds = " s";
  t.logJobNotStarted = "Job not started: ";
  t.logJobStopped = "Job stopped by a signal after ";
  t.logJobInterrupted = "Job interrupted: its program ended before finishing it";
  t.folderRefused = "The working folder cannot be used: ";
  t.outputsRefused = "The outputs cannot be written: ";

  t.fileGroup = "File to encode";
  t.selectFileHint = "Select a file";
  t.tagsGroup = "Video information (tags)";
  t.authorLabel = "Author";
  t.titleLabel = "Title";
  t.afterJobLabel = "What to do after the coding";
  t.workModeGroup = "Work mode";
  t.previewBox = "Preview";
  t.standardBox = "Standard";
  t.deluxeBox = "Deluxe";
  t.previewHint = "Preview mode settings";
  t.standardHint = "Standard mode settings";
  t.helpHint = "Display help";
  t.afterJobItems = {"Do nothing", "Power off", "Sleep", "Hibernation", "Play sound"};
  t.openFilter = {"All Supported (*.avi;*.avs;*.wav;*.vpy;*.png;*.jpg) (*.avi *.avs *.wav *.vpy *.png *.jpg)",
                  "Video (*.avi) (*.avi)",
                  "Script (*.avs;*.vpy) (*.avs *.vpy)",
                  "Sound (*.wav) (*.wav)",
                  "Sequence(*.png;*.jpg) (*.png *.jpg)"};
  t.batchCaption = "Batch";
  t.batchAdd = "Add...";
  t.batchRemove = "Remove";
  t.batchUp = "Up";
  t.batchDown = "Down";
  t.batchWaiting = "waiting";
  t.batchRunning = "running";
  t.batchDone = "done";
  t.batchFailed = "failed";
  t.batchInterrupted = "interrupted, starts again";
  t.batchSourcesFailed = "Failed sources: ";
  t.batchMissing = "The file does not exist";
  t.batchNotSaved = "The list could not be saved: ";
  t.batchSourceColumn = "Source";
  t.batchStateColumn = "State";
  t.batchResultColumn = "Outputs or reason";
  t.batchLeft = " left";
  t.batchProgress = "%1 of %2 done, batch %3%";
  t.offsetMain = 75;
  t.offsetQuit = 45;
  t.offsetHelp = 80;
  return t;
}

}  // namespace

const UiTexts& RussianTexts() {
  static const UiTexts texts = MakeRussian();
  return texts;
}

const UiTexts& EnglishTexts() {
  static const UiTexts texts = MakeEnglish();
  return texts;
}

const UiTexts& TextsFor(bool russian) { return russian ? RussianTexts() : EnglishTexts(); }

}  // namespace desktop
