// The German satellite of Lumenix.dll: its name, version and culture are what the runtime's resource lookup
// asks for (Lumenix.resources, 1.1.1.511, de), in the culture folder below the application base.
using System.Reflection;

[assembly: AssemblyTitle("Lumenix.resources")]
[assembly: AssemblyCompany("Corvane")]
[assembly: AssemblyProduct("Lumenix")]
[assembly: AssemblyCopyright("Copyright (C) Corvane")]
[assembly: AssemblyVersion("1.1.1.511")]
[assembly: AssemblyFileVersion("1.1.1.511")]
[assembly: AssemblyCulture("de")]
