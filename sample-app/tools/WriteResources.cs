// The build's resource compiler for the sample: turns a text of "name=value" lines into a .resources file,
// as a product's own build turns its string tables into the resources of its assemblies and satellites.
//   mono WriteResources.exe STRINGS.restext OUTPUT.resources
// Lines starting with '#' or ';' and empty lines are skipped; a value may carry \uXXXX escapes, so that the
// texts stay ASCII in the sources.
using System;
using System.Globalization;
using System.IO;
using System.Resources;
using System.Text;
using System.Text.RegularExpressions;

static class WriteResources
{
    static int Main(string[] args)
    {
        if (args.Length != 2)
        {
            Console.Error.WriteLine("usage: WriteResources.exe STRINGS.restext OUTPUT.resources");
            return 2;
        }
        try
        {
            using (var writer = new ResourceWriter(args[1]))
            {
                int lineNumber = 0;
                foreach (string line in File.ReadAllLines(args[0], Encoding.UTF8))
                {
                    ++lineNumber;
                    string text = line.Trim();
                    if (text.Length == 0 || text[0] == '#' || text[0] == ';')
                        continue;
                    int equals = text.IndexOf('=');
                    if (equals <= 0)
                        throw new FormatException(args[0] + ":" + lineNumber + ": no \"name=value\" line");
                    writer.AddResource(text.Substring(0, equals).Trim(), Unescape(text.Substring(equals + 1).Trim()));
                }
            }
            return 0;
        }
        catch (Exception e)
        {
            Console.Error.WriteLine("WriteResources: " + e.Message);
            File.Delete(args[1]);
            return 1;
        }
    }

    static string Unescape(string value)
    {
        return Regex.Replace(value, @"\\u([0-9A-Fa-f]{4})",
                             m => ((char)int.Parse(m.Groups[1].Value, NumberStyles.HexNumber)).ToString());
    }
}
