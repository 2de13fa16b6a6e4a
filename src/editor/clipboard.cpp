// The clipboard and selected-range handlers of DocumentCommands.

#include "document/file_copy.h"
#include "document/file_names.h"
#include "document/range_writer.h"
#include "document/wav_format.h"
#include "editor/document_commands.h"
#include "editor/editor.h"

namespace tolmar {

void DocumentCommands::SaveSelectedSamples1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  WaveFile& doc = *e.doc;
  FileDialogSpec spec;
  spec.title = "Save Selected Samples in a WAV File";
  spec.directory = directoryOf(doc.path);
  spec.fileName = makeNumberedFileName(doc.path);
  spec.filter = kWavFileFilter;
  spec.defaultExt = "wav";
  std::string target = spec.fileName;
  if (!e.ctx.inMacroOrBatch()) {
    const auto chosen = e.ctx.host().saveFileDialog(spec);
    if (!chosen) return;
    target = *chosen;
  }
  // Creating the new file would truncate the document's own file.
  if (sameFile(target, doc.path)) {
    e.ctx.error("New file same as existing file!");
    return;
  }
  const uint64_t required =
      (static_cast<uint64_t>(doc.selEnd) - static_cast<uint64_t>(doc.selStart) + 1) *
          kWavFrameBytes +
      kWavHeaderBytes;
  if (!enoughDiskSpace(target, required)) {
    e.ctx.error("Not enough free space on disk " + volumeText(target) + " (" +
                std::to_string(required) + " bytes required)");
    return;
  }
  writeRange(doc, target, doc.selStart, 0, doc.selEnd);
}

void DocumentCommands::CopySelectedSampletoClipboard1Click() {
  Editor& e = ed();
  if (!e.doc || !e.doc->hasSelection()) return;
  writeRange(*e.doc, "", e.doc->selStart, 0, e.doc->selEnd);
  e.ctx.host().refreshCommands();
}

}  // namespace tolmar
