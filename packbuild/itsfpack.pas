{ itsfpack: writes an ITSF container that holds exactly the files it is given.

    itsfpack LIST SOURCE_DIR OUTPUT

  LIST names one file a line, UTF-8, relative to SOURCE_DIR with "/" between folders. Every file is stored
  LZX-compressed under its relative path, in the order given. Besides them the container holds only the
  format's own "::DataSpace/..." entries that a reader needs to decompress: no help-file metadata and no note
  naming the tool. The header's time stamp is written as 0, so the same files always give the same bytes.

  The writer is Free Pascal's chm package (TITSFWriter), compiled from a copy in which the hook that adds the
  note is open to subclasses (see ProductPack.cmake). Exit status 0 on success, 1 with a message on stderr. }
program itsfpack;

{$mode objfpc}{$H+}

uses
  Classes, SysUtils, chmwriter;

const
  ItsfTimeStampOffset = $10;

type
  { The plain container writer without the note that the package adds by default. }
  TPackWriter = class(TITSFWriter)
  protected
    procedure WriteInternalFilesBefore; override;
  end;

  { Hands the writer one file after the other from the source folder. }
  TPackSource = class
  private
    FRoot: String;
  public
    constructor Create(const ARoot: String);
    function GetFileData(const DataName: String; out PathInChm: String; out FileName: String;
      var Stream: TStream): Boolean;
  end;

procedure TPackWriter.WriteInternalFilesBefore;
begin
  // Nothing goes into the container before the packed files.
end;

constructor TPackSource.Create(const ARoot: String);
begin
  FRoot := IncludeTrailingPathDelimiter(ARoot);
end;

function TPackSource.GetFileData(const DataName: String; out PathInChm: String; out FileName: String;
  var Stream: TStream): Boolean;
var
  FileStream: TFileStream;
  Slash: Integer;
begin
  Slash := LastDelimiter('/', DataName);
  PathInChm := '/' + Copy(DataName, 1, Slash);
  FileName := Copy(DataName, Slash + 1, MaxInt);
  FileStream := TFileStream.Create(FRoot + DataName, fmOpenRead or fmShareDenyWrite);
  try
    if FileStream.Size > 0 then
      Stream.CopyFrom(FileStream, FileStream.Size);
  finally
    FileStream.Free;
  end;
  Result := False; // True would end the compression early
end;

{ The writer stamps the header with the time of day; a fixed value keeps builds reproducible. }
procedure ClearTimeStamp(Output: TStream);
const
  Zero: LongWord = 0;
begin
  Output.Position := ItsfTimeStampOffset;
  Output.WriteBuffer(Zero, SizeOf(Zero));
end;

procedure WritePack(const ListFile, SourceDir, OutputFile: String);
var
  Names: TStringList;
  Output: TFileStream;
  Writer: TPackWriter;
  Source: TPackSource;
  Name: String;
begin
  Names := TStringList.Create;
  Source := TPackSource.Create(SourceDir);
  try
    Names.LoadFromFile(ListFile);
    for Name in Names do
      if Name = '' then
        raise Exception.CreateFmt('%s: empty line', [ListFile]);
    if Names.Count = 0 then
      raise Exception.CreateFmt('%s: no files to pack', [ListFile]);

    Output := TFileStream.Create(OutputFile, fmCreate);
    Writer := TPackWriter.Create(Output, True);
    try
      Writer.FilesToCompress.AddStrings(Names);
      Writer.OnGetFileData := @Source.GetFileData;
      Writer.Execute;
      ClearTimeStamp(Output);
    finally
      Writer.Free; // frees Output too
    end;
  finally
    Source.Free;
    Names.Free;
  end;
end;

begin
  if ParamCount <> 3 then
  begin
    WriteLn(StdErr, 'usage: itsfpack LIST SOURCE_DIR OUTPUT');
    Halt(2);
  end;
  try
    WritePack(ParamStr(1), ParamStr(2), ParamStr(3));
  except
    on E: Exception do
    begin
      WriteLn(StdErr, 'itsfpack: ', E.Message);
      Halt(1);
    end;
  end;
end.
